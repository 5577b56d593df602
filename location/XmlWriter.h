// Writes documents as well-formed XML 1.0 that any reader takes back as they
// were: characters XML cannot hold become U+FFFD, a carriage return is written
// as a character reference (a raw one would be read as a line end), and text
// of white space alone is written as references so no reader drops it as
// formatting. Comments, processing instructions and CDATA sections are
// written as such, so the text pieces beside them stay apart. Elements with
// markup children alone are indented by tabs.
#pragma once

#include <string>

#include <pugixml.hpp>

// The whole document: the declaration (unless left out), then its elements,
// comments and processing instructions.
std::string SerializeXmlDocument(const pugi::xml_document& document, bool withDeclaration = true);

// One element and everything inside it, without indentation: what an element
// holds, in one comparable form.
void AppendXmlElementText(std::string& out, pugi::xml_node element);
