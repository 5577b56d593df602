// Node operations of the XML layer: selecting nodes by XPath, reading their
// text, and writing text elements.
#pragma once

#include <bit>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <pugixml.hpp>

// Whether a node or attribute handle is empty, known without a call into the
// XML library, which every node operation is: a handle is one pointer to the
// library's record, null when empty. The walks over whole documents ask this
// of every node.
template <class Handle>
bool IsEmptyHandle(const Handle& handle) noexcept {
  static_assert(std::is_trivially_copyable_v<Handle> && sizeof(Handle) == sizeof(void*));
  return std::bit_cast<const void*>(handle) == nullptr;
}

// The node's type; node_null for an empty handle.
inline pugi::xml_node_type TypeOf(pugi::xml_node node) {
  return IsEmptyHandle(node) ? pugi::node_null : node.type();
}

// An XPath compiled once. The plain forms the files use ("name/name",
// "name/text()", "@name", "text()") are walked directly, which is much faster
// than the general engine and selects the same node (the first in document
// order); anything else goes through pugixml's XPath.
class CXmlPath {
 public:
  explicit CXmlPath(std::string text);

  const std::string& GetText() const noexcept { return m_text; }
  // The first node the path selects from `context`; empty when none.
  pugi::xpath_node Select(pugi::xml_node context) const;

 private:
  enum class Leaf { kElement, kText, kAttribute };
  pugi::xpath_node SelectFrom(pugi::xml_node node, std::size_t step) const;

  std::string m_text;
  std::vector<std::string> m_steps;  // element names, when the path is plain
  Leaf m_leaf = Leaf::kElement;
  std::string m_attribute;
  std::optional<pugi::xpath_query> m_query;  // when it is not
};

// The first node `path` selects from `node`; empty when nothing matches.
pugi::xpath_node SelectXmlNode(pugi::xml_node node, const CXmlPath& path);

// The value of a text, CDATA, comment or processing-instruction node or of an
// attribute; anything else (an element, nothing) throws std::runtime_error
// "Invalid Text".
std::string GetXmlNodeText(const pugi::xpath_node& node);

// The text of the node `path` selects. Throws std::runtime_error
// "XML Node Not Found: " + path when nothing matches, "Invalid Text: " + path
// when the node has no text value.
std::string GetRequiredXmlText(pugi::xml_node node, const CXmlPath& path);
// The same text where it lies in the document, valid while the node is.
std::string_view GetRequiredXmlTextView(pugi::xml_node node, const CXmlPath& path);

// Appends <name>text</name> under `parent` and returns the new element. An
// empty text adds no text node, as it would read back as none; characters a
// file cannot hold go in as U+FFFD.
pugi::xml_node CreateTextElement(pugi::xml_node parent, const char* name, std::string_view text);

// Appends a child element; throws std::bad_alloc when the document cannot grow.
pugi::xml_node AppendXmlElement(pugi::xml_node parent, const char* name);
