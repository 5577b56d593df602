// The XML writer's text, straight into a file being replaced atomically.
#pragma once

#include <cstddef>
#include <string_view>

#include "location/AtomicFile.h"
#include "location/XmlWriter.h"

class CXmlFileTextSink final : public CXmlTextSink {
 public:
  explicit CXmlFileTextSink(CAtomicFileContents& contents) : m_contents(contents) {}
  void Write(std::string_view piece) override { m_contents.Write(piece); }
  void Truncate(std::size_t size) override { m_contents.Truncate(size); }

 private:
  CAtomicFileContents& m_contents;
};
