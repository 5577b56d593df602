// Location files: XML files whose root "points" holds one "point" element per
// record, decoded one by one on first use.
#pragma once

#include <memory>
#include <string>

#include "location/LocationRecord.h"
#include "location/XmlFile.h"

// The codec of "point" elements.
class CPointXmlHandler : public CXmlElementHandlerOf<CLocationRecord> {
 public:
  std::shared_ptr<CLocationRecord> Read(const CXmlDocument& document,
                                        pugi::xml_node element) const override;
  pugi::xml_node Write(pugi::xml_node parent, const CLocationRecord& record) const override;
};

// The one handler of location files; it lives until the process ends.
const CPointXmlHandler& GetPointXmlHandler();

class CLocationFile : public CXmlFile {
 public:
  // Loads or creates the file (see XmlOpenMode); errors as for CXmlFile.
  CLocationFile(std::string path, XmlOpenMode mode);
};

std::unique_ptr<CLocationFile> LoadLocationFile(std::string path, XmlOpenMode mode);

// Appends the record as a new "point" (marking the file modified), after
// emptying the proxy cache; returns a proxy for the new element.
CXmlElementRef AppendRecordElement(CXmlFile& file, const CLocationRecord& record);

// The record of a "point" proxy, decoded on first use.
inline CLocationRecord& GetRecord(const CXmlElementRef& proxy) {
  return proxy->Get<CLocationRecord>();
}
