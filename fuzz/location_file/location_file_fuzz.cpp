// Location file bytes in any encoding: parsing (the parser alone and the
// cleaning parse agree where the parser alone is used), writing the whole
// document back (only characters XML holds, as the writer's general walk
// writes it, every point reads as it did, and a second save writes the same),
// decoding every point (which may fail only
// with runtime errors) and writing decoded records back as a file: the file is
// well-formed, and what has been through a file once comes out of a second
// pass unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "location/PointXml.h"
#include "location/XmlEncoding.h"
#include "location/XmlFile.h"
#include "location/XmlParse.h"
#include "location/XmlText.h"
#include "location/XmlWriter.h"

namespace {

// The record as a file written and read again leaves it. The file must be
// well-formed XML 1.0: only characters XML holds, no raw carriage return
// (readers take it for a line end).
CLocationRecord Normalize(const CLocationRecord& record, std::string* text) {
  pugi::xml_document document;
  WritePointXml(document, record);
  *text = SerializeXmlDocument(document);
  if (!IsXmlText(*text) || text->find('\r') != std::string::npos) std::abort();
  pugi::xml_document again;
  if (!ParseXmlBytes(again, *text)) std::abort();
  return ReadPointXml(again.document_element());
}

// What a point reads as: its record written out, or the error.
std::string PointForm(pugi::xml_node point) {
  try {
    const CLocationRecord record = ReadPointXml(point);
    pugi::xml_document document;
    std::string form;
    AppendXmlElementText(form, WritePointXml(document, record));
    return form + (record.hasNote ? "" : "(no note)") + (record.hasTime ? "" : "(no time)");
  } catch (const std::runtime_error& e) {
    return std::string("error: ") + e.what();
  }
}

std::vector<std::string> PointForms(const pugi::xml_document& document) {
  std::vector<std::string> forms;
  for (pugi::xml_node point : document.document_element().children("point")) {
    forms.push_back(PointForm(point));
  }
  return forms;
}

// The bytes parsed and then cleaned throughout give what the parser alone
// gives where it is used.
void CheckCleaningAgrees(std::string_view bytes, const pugi::xml_document& document) {
  if (const auto declared = DeclaredXmlEncoding(bytes);
      declared && !IsParserXmlEncoding(*declared)) {
    return;
  }
  // In place, as files are parsed: the parser takes a NUL byte for the end
  // of the text, and in place the last byte still follows it.
  char* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(bytes.size() + 1));
  if (!buffer) std::abort();
  std::memcpy(buffer, bytes.data(), bytes.size());
  pugi::xml_document ours;
  if (!ours.load_buffer_inplace_own(buffer, bytes.size(),
                                    WithoutParserReferences(kXmlFileParseOptions))) {
    std::abort();
  }
  CleanParsedXml(ours);
  if (SerializeXmlDocument(ours) != SerializeXmlDocument(document)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pugi::xml_document document;
  if (!ParseXmlBytes(document, bytes)) return 0;
  CheckCleaningAgrees(bytes, document);
  // A whole document as it is saved (a database file holds whatever a hand
  // put there): written once, every point reads as before, and it reads back
  // to what writes the same.
  const std::string saved = SerializeXmlDocument(document);
  if (saved != SerializeXmlDocumentByWalk(document)) std::abort();
  if (!IsXmlText(saved) || saved.find('\r') != std::string::npos) std::abort();
  pugi::xml_document reread;
  if (!ParseXmlBytes(reread, saved) || SerializeXmlDocument(reread) != saved) std::abort();
  if (PointForms(reread) != PointForms(document)) std::abort();
  for (pugi::xml_node point : document.document_element().children()) {
    CLocationRecord record;
    try {
      record = ReadPointXml(point);
    } catch (const std::runtime_error&) {
      continue;
    }
    // Once through a file, a record stays as it is (a note that is present
    // but empty reads back as none, so the first pass may change it).
    std::string text;
    const CLocationRecord once = Normalize(record, &text);
    std::string onceText;
    const CLocationRecord twice = Normalize(once, &onceText);
    std::string twiceText;
    Normalize(twice, &twiceText);
    if (onceText != twiceText) std::abort();
  }
  // The DMS reader on the raw bytes, and its writer's round trip.
  try {
    const CDms dms = ParseDmsText(bytes);
    const CDms again = ParseDmsText(FormatDmsXmlText(dms));
    if (again.degrees != dms.degrees || again.minutes != dms.minutes ||
        again.seconds != dms.seconds || again.hundredths != dms.hundredths ||
        again.sign != dms.sign) {
      std::abort();
    }
  } catch (const std::runtime_error&) {
  }
  return 0;
}
