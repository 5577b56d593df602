#include "app/RecordClipboardText.h"

#include <stdexcept>

#include "location/CoordinateText.h"
#include "location/PointXml.h"
#include "location/XmlParse.h"

CXmlRecordSink::CXmlRecordSink(std::shared_ptr<pugi::xml_document> document, pugi::xml_node parent)
    : m_document(std::move(document)), m_parent(parent) {}

void CXmlRecordSink::Put(const CLocationRecord& record) { WritePointXml(m_parent, record); }

CRef<CRecordOutputIterator> CXmlRecordSink::Clone() const {
  return CRef<CRecordOutputIterator>::Adopt(new CXmlRecordSink(m_document, m_parent));
}

CTextRecordSink::CTextRecordSink(std::shared_ptr<std::string> text) : m_text(std::move(text)) {}

void CTextRecordSink::Put(const CLocationRecord& record) {
  if (!m_text->empty()) *m_text += "\r\n";
  *m_text += FormatRecordTextLine(record);
}

CRef<CRecordOutputIterator> CTextRecordSink::Clone() const {
  return CRef<CRecordOutputIterator>::Adopt(new CTextRecordSink(m_text));
}

std::shared_ptr<pugi::xml_document> MakePointsDocument() {
  auto document = std::make_shared<pugi::xml_document>();
  if (!document->append_child("points")) throw std::bad_alloc();
  return document;
}

std::string FormatRecordTextLine(const CLocationRecord& record) {
  const CPosition& position = record.position;
  std::string line;
  if (record.hasNote) line += record.note;
  line += ',';
  line += FormatDegrees(position.latitude.ToDegrees());
  line += ',';
  line += FormatDegrees(position.longitude.ToDegrees());
  line += ',';
  line += position.hasAltitude ? FormatDegrees(position.altitude) : std::string("-1.0");
  line += ',';
  line += position.datum.GetName();
  line += ",,";
  return line;
}

void CheckPasteSize(std::size_t size) {
  if (size > kMaxPasteBytes)
    throw std::runtime_error("Clipboard Text Too Large: " + std::to_string(size) + " bytes");
}

std::vector<CLocationRecord> ReadPastedRecords(std::string_view text) {
  CheckPasteSize(text.size());
  pugi::xml_document document;
  // The text is Unicode already: an encoding its declaration names does not
  // apply. Line ends stay as they are, so a note with CR LF that was copied
  // pastes back unchanged. References read as they do in files.
  if (!LoadXmlBuffer(document, text, pugi::parse_default & ~pugi::parse_eol, pugi::encoding_utf8) ||
      !document.document_element()) {
    throw std::runtime_error("invalid XML");
  }
  std::vector<CLocationRecord> records;
  for (pugi::xml_node child = document.document_element().first_child(); child;
       child = child.next_sibling()) {
    records.push_back(ReadPointXml(child));
  }
  return records;
}
