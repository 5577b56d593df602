// The two text forms in which records travel through the clipboard: the XML
// of a "points" document, which copy writes and paste reads, and one
// comma-separated line per record, which copy as text writes.
#pragma once

#include <cstddef>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "location/Iterators.h"

// The most clipboard text a paste reads: anything larger is refused before
// it is parsed.
constexpr std::size_t kMaxPasteBytes = std::size_t{64} << 20;

// A sink that appends one "point" element per record under parent. It shares
// the document, so the node it writes under never outlives it.
class CXmlRecordSink final : public CRecordOutputIterator {
 public:
  CXmlRecordSink(std::shared_ptr<pugi::xml_document> document, pugi::xml_node parent);
  void Increment() override {}
  void Put(const CLocationRecord& record) override;
  CRef<CRecordOutputIterator> Clone() const override;

 private:
  std::shared_ptr<pugi::xml_document> m_document;
  pugi::xml_node m_parent;
};

// A sink that appends each record's text line to a shared text, the lines
// joined by CR LF.
class CTextRecordSink final : public CRecordOutputIterator {
 public:
  explicit CTextRecordSink(std::shared_ptr<std::string> text);
  void Increment() override {}
  void Put(const CLocationRecord& record) override;
  CRef<CRecordOutputIterator> Clone() const override;

 private:
  std::shared_ptr<std::string> m_text;
};

// A new document whose root element is "points".
std::shared_ptr<pugi::xml_document> MakePointsDocument();
// note,latitude,longitude,altitude,datum,, : the coordinates in the record's
// own datum as signed decimal degrees with 5 decimals, "-1.0" without
// altitude. Nothing is quoted.
std::string FormatRecordTextLine(const CLocationRecord& record);

// Throws std::runtime_error "Clipboard Text Too Large: " + size when a paste
// of size bytes would be more than kMaxPasteBytes.
void CheckPasteSize(std::size_t size);

// Every child of the root element read as a "point", all or nothing; the
// root's name is not looked at. Throws as CheckPasteSize does, std::runtime_error
// "invalid XML" for text that is not XML, and the point reader's errors.
std::vector<CLocationRecord> ReadPastedRecords(std::string_view text);
