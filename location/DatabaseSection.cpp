#include "location/DatabaseSection.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "location/FilePath.h"
#include "location/TimeText.h"
#include "location/XmlNode.h"

CDatabaseSection::CDatabaseSection(std::string indexPath, std::string href, int32_t begin,
                                   int32_t end)
    : m_indexPath(std::move(indexPath)),
      m_href(std::move(href)),
      m_path(ResolveRelativePath(m_indexPath, m_href)),
      m_begin(begin),
      m_end(end) {
  if (begin > end) throw std::invalid_argument("Invalid Time Range");
}

CDatabaseSection::~CDatabaseSection() = default;

void CDatabaseSection::SetHref(std::string href) {
  m_path = ResolveRelativePath(m_indexPath, href);
  m_href = std::move(href);
}

std::string CDatabaseSection::GetFileIdentity() const { return FileIdentity(GetPath()); }

std::string FileIdentity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    return "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  }
  return "path " + std::filesystem::path(path).lexically_normal().string();
}

CLocationFile& CDatabaseSection::GetLocationFile() {
  if (!m_file) m_file = LoadLocationFile(GetPath(), XmlOpenMode::kOpenExisting);
  return *m_file;
}

void CDatabaseSection::SaveIfModified() {
  if (m_file) m_file->SaveIfModified();
}

void CDatabaseSection::Unload() noexcept {
  m_points.reset();
  m_file.reset();
}

void CDatabaseSection::DiscardUnsavedChanges() noexcept {
  if (!m_file || !m_file->IsModified()) return;
  m_file->DiscardChanges();
  Unload();
}

bool CDatabaseSection::FileRecord(const CLocationRecord& record) {
  CLocationFile& file = GetLocationFile();
  if (!m_points) m_points = std::make_unique<CPointValueSet>(file);
  // Written once, in place; taken back when it is there already.
  const bool wasModified = file.IsModified();
  file.ClearProxyCache();
  const pugi::xml_node element = AppendToDocumentElement(file, record);
  try {
    const std::string key = PointValueKey(element);
    if (m_points->Contains(key)) {
      file.GetDocumentElement().remove_child(element);
      if (!wasModified) file.DiscardChanges();
      return false;
    }
    m_points->Add(key, element);
  } catch (...) {
    m_points.reset();  // made again from the file when next needed
    throw;
  }
  return true;
}

namespace {

// The first text piece among the element's children, as "name/text()"
// selects it; null when there is none.
const char* FirstTextPiece(pugi::xml_node element) {
  for (pugi::xml_node child = element.first_child(); !IsEmptyHandle(child);
       child = child.next_sibling()) {
    const pugi::xml_node_type type = child.type();
    if (type == pugi::node_pcdata || type == pugi::node_cdata) return child.value();
  }
  return nullptr;
}

// What "include/@href", "begin/text()" and "end/text()" select in a section
// element, found in one walk over its children: a search reads the entries
// of the index up to the sections it wants.
struct CSectionTexts {
  const char* href = nullptr;
  const char* begin = nullptr;
  const char* end = nullptr;
};

CSectionTexts FindSectionTexts(pugi::xml_node element) {
  CSectionTexts texts;
  for (pugi::xml_node child = element.first_child(); !IsEmptyHandle(child);
       child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    const char* name = child.name();
    if (!texts.begin && std::strcmp(name, "begin") == 0) {
      texts.begin = FirstTextPiece(child);
    } else if (!texts.end && std::strcmp(name, "end") == 0) {
      texts.end = FirstTextPiece(child);
    } else if (!texts.href && std::strcmp(name, "include") == 0) {
      const pugi::xml_attribute href = child.attribute("href");
      if (!IsEmptyHandle(href)) texts.href = href.value();
    }
    if (texts.href && texts.begin && texts.end) break;
  }
  return texts;
}

const char* Required(const char* text, const char* path) {
  if (!text) throw std::runtime_error(std::string("XML Node Not Found: ") + path);
  return text;
}

}  // namespace

std::shared_ptr<CDatabaseSection> CSectionXmlHandler::Read(const CXmlDocument& document,
                                                           pugi::xml_node element) const {
  const CSectionTexts texts = FindSectionTexts(element);
  std::string href = Required(texts.href, "include/@href");
  const char* beginText = Required(texts.begin, "begin/text()");
  const char* endText = Required(texts.end, "end/text()");
  const int32_t end = ParseIso8601Time(endText);
  const int32_t begin = ParseIso8601Time(beginText);
  return std::make_shared<CDatabaseSection>(document.path, std::move(href), begin, end);
}

pugi::xml_node CSectionXmlHandler::Write(pugi::xml_node parent,
                                         const CDatabaseSection& section) const {
  pugi::xml_node element = AppendXmlElement(parent, "section");
  CreateTextElement(element, "begin", FormatIso8601Time(section.GetBegin()));
  CreateTextElement(element, "end", FormatIso8601Time(section.GetEnd()));
  pugi::xml_node include = AppendXmlElement(element, "include");
  if (!include.append_attribute("href").set_value(section.GetHref().c_str())) {
    throw std::bad_alloc();
  }
  return element;
}

const CSectionXmlHandler& GetSectionXmlHandler() {
  static const CSectionXmlHandler handler;
  return handler;
}
