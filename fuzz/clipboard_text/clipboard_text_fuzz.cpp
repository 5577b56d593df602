// Pasted clipboard text: any text either gives records or fails with a
// runtime error, and the records it gives copy and paste back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/RecordClipboardText.h"
#include "location/PointXml.h"
#include "location/XmlWriter.h"

namespace {

std::string Copied(const std::vector<CLocationRecord>& records) {
  const auto document = MakePointsDocument();
  for (const CLocationRecord& record : records) WritePointXml(document->document_element(), record);
  return SerializeXmlDocument(*document, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<CLocationRecord> records;
  try {
    records = ReadPastedRecords(text);
  } catch (const std::runtime_error&) {
    return 0;
  }
  for (const CLocationRecord& record : records) FormatRecordTextLine(record);
  // What the writer made once reads back to the same text.
  const std::string once = Copied(ReadPastedRecords(Copied(records)));
  if (Copied(ReadPastedRecords(once)) != once) std::abort();
  return 0;
}
