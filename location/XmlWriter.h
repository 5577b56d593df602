// Writes documents as well-formed XML 1.0 that any reader takes back as they
// were: characters XML cannot hold become U+FFFD, a carriage return is written
// as a character reference (a raw one would be read as a line end), and text
// of white space alone is written as references so no reader drops it as
// formatting. Comments, processing instructions and CDATA sections are
// written as such, so the text pieces beside them stay apart. Elements with
// markup children alone are indented by tabs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// Receives a document's text in pieces, in order. Truncate takes back all
// but the first `size` bytes written: the writer does so when an element it
// began on lines of their own turns out to hold text.
class CXmlTextSink {
 public:
  virtual void Write(std::string_view piece) = 0;
  virtual void Truncate(std::size_t size) = 0;

 protected:
  ~CXmlTextSink() = default;
};

// The whole document: the declaration (unless left out), then its elements,
// comments and processing instructions.
void SerializeXmlDocument(const pugi::xml_document& document, CXmlTextSink& sink,
                          bool withDeclaration = true);
std::string SerializeXmlDocument(const pugi::xml_document& document, bool withDeclaration = true);

// The same text from the general walk alone, without its shortcut for the
// shapes records have: what the shortcut must agree with.
std::string SerializeXmlDocumentByWalk(const pugi::xml_document& document,
                                       bool withDeclaration = true);

// One element and everything inside it, without indentation: what an element
// holds, in one comparable form.
void AppendXmlElementText(std::string& out, pugi::xml_node element);
