#include "location/XmlNode.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "location/XmlText.h"

namespace {

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsName(std::string_view text) {
  if (text.empty() || !IsNameStart(text.front())) return false;
  for (char c : text) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

bool IsTextNode(pugi::xml_node node) {
  return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

}  // namespace

CXmlPath::CXmlPath(std::string text) : m_text(std::move(text)) {
  std::vector<std::string> steps;
  std::string_view rest = m_text;
  bool plain = !rest.empty();
  while (plain) {
    const std::size_t slash = rest.find('/');
    const std::string_view step = rest.substr(0, slash);
    const bool last = slash == std::string_view::npos;
    if (last && step == "text()") {
      m_leaf = Leaf::kText;
    } else if (last && step.size() > 1 && step.front() == '@' && IsName(step.substr(1))) {
      m_leaf = Leaf::kAttribute;
      m_attribute = std::string(step.substr(1));
    } else if (IsName(step)) {
      steps.emplace_back(step);
    } else {
      plain = false;
    }
    if (last) break;
    rest.remove_prefix(slash + 1);
  }
  if (plain && (m_leaf != Leaf::kElement || !steps.empty())) {
    m_steps = std::move(steps);
  } else {
    m_leaf = Leaf::kElement;
    m_attribute.clear();
    m_query.emplace(m_text.c_str());
  }
}

pugi::xpath_node CXmlPath::Select(pugi::xml_node context) const {
  if (!context) return {};
  if (m_query) return m_query->evaluate_node(context);
  return SelectFrom(context, 0);
}

// Depth first through the named children in their order, which is document
// order, so the first hit is what XPath's first node would be.
pugi::xpath_node CXmlPath::SelectFrom(pugi::xml_node node, std::size_t step) const {
  if (step == m_steps.size()) {
    switch (m_leaf) {
      case Leaf::kElement:
        return node;
      case Leaf::kAttribute:
        if (pugi::xml_attribute attribute = node.attribute(m_attribute.c_str())) {
          return pugi::xpath_node(attribute, node);
        }
        return {};
      case Leaf::kText:
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
          if (IsTextNode(child)) return child;
        }
        return {};
    }
    return {};
  }
  const char* name = m_steps[step].c_str();
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element || std::strcmp(child.name(), name) != 0) continue;
    if (pugi::xpath_node found = SelectFrom(child, step + 1)) return found;
  }
  return {};
}

pugi::xpath_node SelectXmlNode(pugi::xml_node node, const CXmlPath& path) {
  return path.Select(node);
}

namespace {

// The node's value when it has one that is text.
std::optional<std::string_view> TextValue(const pugi::xpath_node& node) {
  if (pugi::xml_attribute attribute = node.attribute()) return attribute.value();
  switch (node.node().type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
      return node.node().value();
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string GetXmlNodeText(const pugi::xpath_node& node) {
  const auto text = TextValue(node);
  if (!text) throw std::runtime_error("Invalid Text");
  return std::string(*text);
}

std::string GetRequiredXmlText(pugi::xml_node node, const CXmlPath& path) {
  return std::string(GetRequiredXmlTextView(node, path));
}

std::string_view GetRequiredXmlTextView(pugi::xml_node node, const CXmlPath& path) {
  const pugi::xpath_node found = path.Select(node);
  if (!found) throw std::runtime_error("XML Node Not Found: " + path.GetText());
  const auto text = TextValue(found);
  if (!text) throw std::runtime_error("Invalid Text: " + path.GetText());
  return *text;
}

pugi::xml_node AppendXmlElement(pugi::xml_node parent, const char* name) {
  pugi::xml_node element = parent.append_child(name);
  if (!element) throw std::bad_alloc();
  return element;
}

pugi::xml_node CreateTextElement(pugi::xml_node parent, const char* name, std::string_view text) {
  // Text that entered a record without passing the checks of its way in
  // reaches the document as a file can hold it.
  std::string replaced;
  if (!IsXmlText(text)) {
    replaced = ReplaceNonXmlCharacters(text);
    text = replaced;
  }
  pugi::xml_node element = AppendXmlElement(parent, name);
  if (!text.empty()) {
    pugi::xml_node value = element.append_child(pugi::node_pcdata);
    if (!value || !value.set_value(text.data(), text.size())) {
      parent.remove_child(element);
      throw std::bad_alloc();
    }
  }
  return element;
}
