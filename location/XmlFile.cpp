#include "location/XmlFile.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "location/AtomicFile.h"
#include "location/FilePath.h"
#include "location/RegularFile.h"
#include "location/XmlEncoding.h"
#include "location/XmlNode.h"
#include "location/XmlParse.h"
#include "location/XmlFileTextSink.h"
#include "location/XmlWriter.h"

namespace {

// The reason, when given, follows on a line of its own.
[[noreturn]] void ThrowLoadFailed(const std::string& path, const char* reason = nullptr) {
  std::string text = "Loading XML File Failed: " + path;
  if (reason) text.append("\n").append(reason);
  throw std::runtime_error(text);
}

// A whole file is read into memory that no page of has been touched yet:
// in pages of 2 MB rather than 4 KB the system is asked for them 512 times
// less often. Only a hint; the part that fills whole large pages is named.
void AskForLargePages(char* data, std::size_t size) {
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kLargePage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// A buffer from pugixml's allocator, which the document takes over.
struct CPugiBuffer {
  explicit CPugiBuffer(std::size_t size)
      : data(static_cast<char*>(pugi::get_memory_allocation_function()(size ? size : 1))),
        size(size) {
    if (!data) throw std::bad_alloc();
    AskForLargePages(data, size);
  }
  CPugiBuffer(const CPugiBuffer&) = delete;
  CPugiBuffer& operator=(const CPugiBuffer&) = delete;
  ~CPugiBuffer() {
    if (data) pugi::get_memory_deallocation_function()(data);
  }
  char* Release() { return std::exchange(data, nullptr); }

  char* data;
  std::size_t size;
};

// The whole file. Anything but a regular file is refused before it is read,
// so no FIFO or device can hold the caller.
std::unique_ptr<CPugiBuffer> ReadWholeFile(const std::string& path) {
  CRegularFile file(path);
  if (file.IsNotRegular()) ThrowLoadFailed(path, kNotRegularFileText);
  if (!file.IsOpen()) ThrowLoadFailed(path);
  auto buffer = std::make_unique<CPugiBuffer>(file.GetSize());
  // A short read is a file that shrank while it was read.
  if (file.Read(buffer->data, buffer->size) != static_cast<ssize_t>(buffer->size)) {
    ThrowLoadFailed(path);
  }
  return buffer;
}

}  // namespace

CXmlElementProxy::CXmlElementProxy(std::shared_ptr<CXmlDocument> document,
                                   const CXmlElementHandler& handler, pugi::xml_node element)
    : m_document(std::move(document)), m_handler(&handler), m_element(element) {}

void* CXmlElementProxy::GetObject(const std::type_info& type) {
  if (type != m_handler->GetObjectType()) {
    throw std::logic_error("XML element read as the wrong type");
  }
  if (!m_object) {
    m_object = m_handler->DoRead(*m_document, m_element);
    if (!m_object) throw std::logic_error("XML element handler read nothing");
  }
  return m_object.get();
}

CXmlElementRef NewXmlElementProxy(std::shared_ptr<CXmlDocument> document,
                                  const CXmlElementHandler& handler, pugi::xml_node element) {
  return std::make_shared<CXmlElementProxy>(std::move(document), handler, element);
}

CXmlFile::CXmlFile(std::string rootName, std::string childName, const CXmlElementHandler& handler,
                   std::string path, XmlOpenMode mode)
    : m_document(std::make_shared<CXmlDocument>()),
      m_handler(&handler),
      m_rootName(std::move(rootName)),
      m_childName(std::move(childName)),
      m_proxies(std::make_shared<CXmlProxyCache>()) {
  m_document->path = std::move(path);
  if (mode == XmlOpenMode::kOpenExisting) {
    Load();
  } else {
    Create(mode);
  }
}

CXmlFile::~CXmlFile() {
  // A document created to replace a file on its first save is never written
  // half-made: only an explicit save may replace what is there.
  if (m_unsavedReplacement) return;
  try {
    SaveIfModified();
  } catch (...) {
  }
}

namespace {

// Parses a buffer the document takes over: as it stands when the parser reads
// its encoding, else converted to UTF-8 first. `inPlace`, when given, is set
// to the buffer when the parser read it in place as it stands.
bool ParseOwnedBuffer(pugi::xml_document& document, std::unique_ptr<CPugiBuffer> buffer,
                      std::string_view* inPlace = nullptr) {
  if (inPlace) *inPlace = {};
  pugi::xml_encoding encoding = pugi::encoding_auto;
  const std::string_view bytes(buffer->data, buffer->size);
  if (const auto declared = DeclaredXmlEncoding(bytes);
      declared && !IsParserXmlEncoding(*declared)) {
    const auto converted = ConvertToUtf8(bytes, *declared);
    if (!converted) return false;
    buffer = std::make_unique<CPugiBuffer>(converted->size());
    std::memcpy(buffer->data, converted->data(), converted->size());
    encoding = pugi::encoding_utf8;
  }
  const std::size_t size = buffer->size;
  char* const data = buffer->Release();
  bool asItStands = false;
  const pugi::xml_parse_result result =
      LoadXmlBufferInPlaceOwn(document, data, size, kXmlFileParseOptions, encoding, &asItStands);
  // The parser parses UTF-8 where it lies; bytes in any other encoding it
  // reads (a declaration of Latin-1 the check above did not see) it converts
  // into a buffer of its own and lets this one go.
  if (result && asItStands && result.encoding == pugi::encoding_utf8 && inPlace) {
    *inPlace = std::string_view(data, size);
  }
  return static_cast<bool>(result);
}

}  // namespace

bool ParseXmlBytes(pugi::xml_document& document, std::string_view bytes) {
  auto buffer = std::make_unique<CPugiBuffer>(bytes.size());
  if (!bytes.empty()) std::memcpy(buffer->data, bytes.data(), bytes.size());
  return ParseOwnedBuffer(document, std::move(buffer));
}

void CXmlFile::Load() {
  const std::string& path = m_document->path;
  // What an interrupted save of this file left behind.
  RemoveStaleTemporaryFiles(FolderOfPath(path), path.substr(path.rfind('/') + 1));
  if (!ParseOwnedBuffer(m_document->document, ReadWholeFile(path), &m_document->parsedInPlace)) {
    ThrowLoadFailed(path);
  }
  const pugi::xml_node root = GetDocumentElement();
  if (m_rootName != root.name()) {
    throw std::runtime_error(std::string("Invalid Root Element: ") + root.name());
  }
}

void CXmlFile::Create(XmlOpenMode mode) {
  if (!m_document->document.append_child(m_rootName.c_str())) throw std::bad_alloc();
  m_modified = true;
  switch (mode) {
    case XmlOpenMode::kCreateNow:
      AtomicWriteFile(GetPath(), Serialize(), AtomicWriteMode::kReplace);
      m_modified = false;
      break;
    case XmlOpenMode::kCreateExclusive:
      AtomicWriteFile(GetPath(), Serialize(), AtomicWriteMode::kCreateNew);
      m_modified = false;
      break;
    case XmlOpenMode::kCreateOnSave:
      m_unsavedReplacement = true;
      break;
    case XmlOpenMode::kOpenExisting:
      break;
  }
}

void CXmlFile::SaveIfModified() {
  if (!m_modified) return;
  // The text goes to the file as it is written: a large document is never
  // held twice in memory, and the disk takes its start while the rest is
  // written.
  AtomicWriteFile(
      GetPath(),
      [this](CAtomicFileContents& contents) {
        CXmlFileTextSink sink(contents);
        SerializeXmlDocument(m_document->document, sink);
      },
      AtomicWriteMode::kReplace);
  m_modified = false;
  m_unsavedReplacement = false;
}

std::string CXmlFile::Serialize() const { return SerializeXmlDocument(m_document->document); }

pugi::xml_node CXmlFile::AppendObject(const std::type_info& type, const void* object) {
  if (type != m_handler->GetObjectType()) {
    throw std::logic_error("XML element written as the wrong type");
  }
  pugi::xml_node root = GetDocumentElement();
  const pugi::xml_node last = root.last_child();
  pugi::xml_node element;
  try {
    element = m_handler->DoWrite(root, object);
  } catch (...) {
    // Take back whatever the writer appended before it failed.
    while (root.last_child() != last) root.remove_child(root.last_child());
    throw;
  }
  m_modified = true;
  return element;
}

std::unique_ptr<CXmlFile> LoadXmlFile(std::string rootName, std::string childName,
                                      const CXmlElementHandler& handler, std::string path,
                                      XmlOpenMode mode) {
  return std::make_unique<CXmlFile>(std::move(rootName), std::move(childName), handler,
                                    std::move(path), mode);
}

CXmlNodeEnumerator::CXmlNodeEnumerator(const CXmlFile& file)
    : m_document(file.GetDocument()),
      m_handler(&file.GetHandler()),
      m_proxies(file.GetProxyCache()) {
  const char* name = file.GetChildName().c_str();
  for (pugi::xml_node child = file.GetDocumentElement().first_child(); !IsEmptyHandle(child);
       child = child.next_sibling()) {
    if (child.type() == pugi::node_element && std::strcmp(child.name(), name) == 0) {
      m_elements.push_back(child);
    }
  }
  if (m_proxies->proxies.capacity() < m_elements.size()) {
    m_proxies->proxies.reserve(m_elements.size());
  }
}

CXmlElementRef CXmlNodeEnumerator::Next() {
  if (!HasMore()) throw std::out_of_range("No more XML elements");
  const std::size_t index = m_next++;
  std::vector<CXmlElementRef>& cache = m_proxies->proxies;
  if (index < cache.size() && cache[index]) return cache[index];
  if (index >= cache.size()) cache.resize(index + 1);
  cache[index] = NewXmlElementProxy(m_document, *m_handler, m_elements[index]);
  return cache[index];
}

CXmlNodeEnumerator MakeChildElementEnumerator(const CXmlFile& file) {
  return CXmlNodeEnumerator(file);
}

std::string ResolveRelativePath(const CXmlFile& file, std::string_view path) {
  return ResolveRelativePath(file.GetPath(), path);
}
