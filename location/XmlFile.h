// An XML document bound to one file, one root element name, one child element
// name and one element handler, with lazily decoded child elements and
// save-if-modified. Location files, the database index and the map catalogue
// are built on it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include <pugixml.hpp>

// The parsed document and the path it was loaded from. The file and every
// proxy or enumerator that points into the document share it, so no node
// handle outlives its document.
struct CXmlDocument {
  std::string path;
  pugi::xml_document document;
  // The buffer a load parsed in place, when the parser read its bytes as they
  // stand (UTF-8 that needed no cleaning): then every name and value of the
  // document as loaded lies in it, inside the span of the markup it came
  // from. Empty otherwise. It says nothing of a document changed since.
  std::string_view parsedInPlace;
};

// The codec between one kind of child element and its object. Handlers are
// static objects that outlive every file and proxy using them.
class CXmlElementHandler {
 public:
  virtual ~CXmlElementHandler() = default;
  // The type of the objects this handler reads and writes.
  virtual const std::type_info& GetObjectType() const noexcept = 0;
  // Decodes `element` of `document` into a new object.
  virtual std::shared_ptr<void> DoRead(const CXmlDocument& document,
                                       pugi::xml_node element) const = 0;
  // Appends a new element for `object` (of GetObjectType()) under `parent` and
  // returns it.
  virtual pugi::xml_node DoWrite(pugi::xml_node parent, const void* object) const = 0;
};

// The typed form that handlers implement.
template <class T>
class CXmlElementHandlerOf : public CXmlElementHandler {
 public:
  const std::type_info& GetObjectType() const noexcept final { return typeid(T); }
  std::shared_ptr<void> DoRead(const CXmlDocument& document,
                               pugi::xml_node element) const final {
    return Read(document, element);
  }
  pugi::xml_node DoWrite(pugi::xml_node parent, const void* object) const final {
    return Write(parent, *static_cast<const T*>(object));
  }

  virtual std::shared_ptr<T> Read(const CXmlDocument& document, pugi::xml_node element) const = 0;
  virtual pugi::xml_node Write(pugi::xml_node parent, const T& object) const = 0;
};

// One child element, decoded into its object on the first Get and kept; a
// failed decode keeps nothing and throws again on the next Get. Changes to the
// object are not written back to the element.
class CXmlElementProxy {
 public:
  CXmlElementProxy(std::shared_ptr<CXmlDocument> document, const CXmlElementHandler& handler,
                   pugi::xml_node element);
  CXmlElementProxy(const CXmlElementProxy&) = delete;
  CXmlElementProxy& operator=(const CXmlElementProxy&) = delete;

  // The decoded object; T must be the handler's object type (std::logic_error
  // otherwise).
  template <class T>
  T& Get() {
    return *static_cast<T*>(GetObject(typeid(T)));
  }
  bool IsDecoded() const noexcept { return m_object != nullptr; }
  pugi::xml_node GetElement() const noexcept { return m_element; }
  const std::shared_ptr<CXmlDocument>& GetDocument() const noexcept { return m_document; }

 private:
  void* GetObject(const std::type_info& type);

  std::shared_ptr<CXmlDocument> m_document;
  const CXmlElementHandler* m_handler;
  pugi::xml_node m_element;
  std::shared_ptr<void> m_object;
};

// The handle through which records and sections are reached.
using CXmlElementRef = std::shared_ptr<CXmlElementProxy>;

CXmlElementRef NewXmlElementProxy(std::shared_ptr<CXmlDocument> document,
                                  const CXmlElementHandler& handler, pugi::xml_node element);

// The proxies enumeration has made, by child index, so that enumerating twice
// gives the same proxies and decodes each element once.
struct CXmlProxyCache {
  std::vector<CXmlElementRef> proxies;
};

enum class XmlOpenMode {
  kOpenExisting,     // load the file; it must exist
  kCreateNow,        // new empty document, written at once over any file at the path
  kCreateExclusive,  // new empty document, written at once; fails when the path exists
  // New empty document, modified; the first explicit save replaces any file at
  // the path, so the old file stays whole until the new content is complete.
  // Until then the destructor does not save.
  kCreateOnSave,
};

class CXmlFile {
 public:
  // Loads or creates the document (see XmlOpenMode). Throws std::runtime_error
  // "Loading XML File Failed: " + path for a file that is missing, unreadable,
  // not well formed or in an encoding that cannot be read (followed by a line
  // "Not a regular file" for a FIFO, device or folder, which is never read),
  // "Invalid Root Element: " + name for the wrong root; the creating modes throw
  // CWin32Exception when the file cannot be written.
  CXmlFile(std::string rootName, std::string childName, const CXmlElementHandler& handler,
           std::string path, XmlOpenMode mode);
  CXmlFile(const CXmlFile&) = delete;
  CXmlFile& operator=(const CXmlFile&) = delete;
  // Saves a modified document as a last resort, swallowing any error: owners
  // call SaveIfModified first where a failure can be shown.
  virtual ~CXmlFile();

  // When modified: writes the document atomically and clears the flag. A
  // failure throws CWin32Exception and leaves the file on disk as it was and
  // the flag set.
  void SaveIfModified();
  bool IsModified() const noexcept { return m_modified; }
  void SetModified() noexcept { m_modified = true; }
  // Forgets that the document was changed, so neither a save nor the
  // destructor writes it; for an owner that then drops the document and loads
  // the file again, or takes its changes back itself.
  void DiscardChanges() noexcept { m_modified = false; }

  const std::string& GetPath() const noexcept { return m_document->path; }
  const std::string& GetRootName() const noexcept { return m_rootName; }
  const std::string& GetChildName() const noexcept { return m_childName; }
  const CXmlElementHandler& GetHandler() const noexcept { return *m_handler; }
  const std::shared_ptr<CXmlDocument>& GetDocument() const noexcept { return m_document; }
  pugi::xml_node GetDocumentElement() const noexcept {
    return m_document->document.document_element();
  }

  // Drops the file's references to the proxies made so far.
  void ClearProxyCache() noexcept { m_proxies->proxies.clear(); }
  const std::shared_ptr<CXmlProxyCache>& GetProxyCache() const noexcept { return m_proxies; }

  // Writes `object` (of the handler's type) as a new child of the document
  // element and marks the file modified. A writer that fails leaves no partial
  // element behind.
  pugi::xml_node AppendObject(const std::type_info& type, const void* object);

  // The serialised document, as a save writes it.
  std::string Serialize() const;

 private:
  void Load();
  void Create(XmlOpenMode mode);

  std::shared_ptr<CXmlDocument> m_document;
  bool m_modified = false;
  bool m_unsavedReplacement = false;  // kCreateOnSave before its first save
  const CXmlElementHandler* m_handler;
  std::string m_rootName;
  std::string m_childName;
  std::shared_ptr<CXmlProxyCache> m_proxies;
};

// How files are parsed: comments, processing instructions and CDATA sections
// stay in the document beside the text around them, so a save writes the file
// as it was loaded and every value reads as it did (values are read from the
// first text piece of an element). Declarations are parsed as such, so that
// one inside an element (the target xml, in any case, which XML reserves)
// makes the file not well formed: dropped, it would leave the text pieces
// around it side by side, and a save would join them into one value.
inline constexpr unsigned kXmlFileParseOptions =
    pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration;

// Parses the bytes of an XML file in any encoding the loader reads (the UTF
// family, and 8-bit encodings named by the declaration) into `document`;
// false when they are not well formed or cannot be converted.
bool ParseXmlBytes(pugi::xml_document& document, std::string_view bytes);

std::unique_ptr<CXmlFile> LoadXmlFile(std::string rootName, std::string childName,
                                      const CXmlElementHandler& handler, std::string path,
                                      XmlOpenMode mode);

// Walks the document element's children named as the file's child elements,
// as they were when it was made. Holds the document and the proxy cache, so it
// stays valid when the file goes first.
class CXmlNodeEnumerator {
 public:
  explicit CXmlNodeEnumerator(const CXmlFile& file);

  bool HasMore() const noexcept { return m_next < m_elements.size(); }
  std::size_t GetCount() const noexcept { return m_elements.size(); }
  // The proxy of the next element: the cached one, or a new one entered into
  // the cache.
  CXmlElementRef Next();

 private:
  std::shared_ptr<CXmlDocument> m_document;
  const CXmlElementHandler* m_handler;
  std::shared_ptr<CXmlProxyCache> m_proxies;
  std::vector<pugi::xml_node> m_elements;
  std::size_t m_next = 0;
};

CXmlNodeEnumerator MakeChildElementEnumerator(const CXmlFile& file);

// Writes `object` under the document element and marks the file modified.
template <class T>
pugi::xml_node AppendToDocumentElement(CXmlFile& file, const T& object) {
  return file.AppendObject(typeid(T), &object);
}

// Empties the file's proxy cache, appends `object` and returns a new proxy for
// the new element (not entered into the cache; decoded on first use).
template <class T>
CXmlElementRef AppendElement(CXmlFile& file, const T& object) {
  file.ClearProxyCache();
  const pugi::xml_node element = AppendToDocumentElement(file, object);
  return NewXmlElementProxy(file.GetDocument(), file.GetHandler(), element);
}

// A reference found in the file, resolved against the file's folder.
std::string ResolveRelativePath(const CXmlFile& file, std::string_view path);
