#include "location/LocationFile.h"

#include <utility>

#include "location/PointXml.h"

std::shared_ptr<CLocationRecord> CPointXmlHandler::Read(const CXmlDocument&,
                                                        pugi::xml_node element) const {
  return std::make_shared<CLocationRecord>(ReadPointXml(element));
}

pugi::xml_node CPointXmlHandler::Write(pugi::xml_node parent, const CLocationRecord& record) const {
  return WritePointXml(parent, record);
}

const CPointXmlHandler& GetPointXmlHandler() {
  // Never destroyed: proxies may be released during static destruction.
  static const CPointXmlHandler* const handler = new CPointXmlHandler;
  return *handler;
}

CLocationFile::CLocationFile(std::string path, XmlOpenMode mode)
    : CXmlFile("points", "point", GetPointXmlHandler(), std::move(path), mode) {}

std::unique_ptr<CLocationFile> LoadLocationFile(std::string path, XmlOpenMode mode) {
  return std::make_unique<CLocationFile>(std::move(path), mode);
}

CXmlElementRef AppendRecordElement(CXmlFile& file, const CLocationRecord& record) {
  return AppendElement(file, record);
}
