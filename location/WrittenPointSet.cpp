#include "location/WrittenPointSet.h"

#include <cstring>
#include <functional>

#include "location/XmlFile.h"
#include "location/XmlWriter.h"

namespace {

std::size_t HashOf(std::string_view form) { return std::hash<std::string_view>()(form); }

}  // namespace

CWrittenPointSet::CWrittenPointSet(const CXmlFile& file) {
  const char* name = file.GetChildName().c_str();
  std::string form;
  for (pugi::xml_node child = file.GetDocumentElement().first_child(); child;
       child = child.next_sibling()) {
    if (child.type() != pugi::node_element || std::strcmp(child.name(), name) != 0) continue;
    form.clear();
    AppendXmlElementText(form, child);
    m_elements.emplace(HashOf(form), child);
  }
}

bool CWrittenPointSet::Contains(std::string_view form) const {
  const auto [first, last] = m_elements.equal_range(HashOf(form));
  for (auto it = first; it != last; ++it) {
    if (WrittenElementForm(it->second) == form) return true;
  }
  return false;
}

void CWrittenPointSet::Add(std::string_view form, pugi::xml_node element) {
  m_elements.emplace(HashOf(form), element);
}

std::string WrittenElementForm(pugi::xml_node element) {
  std::string form;
  AppendXmlElementText(form, element);
  return form;
}
