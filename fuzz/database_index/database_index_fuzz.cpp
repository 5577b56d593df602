// Any bytes as a database index: opening and decoding its sections either
// succeed with sound ranges or fail with an exception.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "location/LocationDatabase.h"

namespace {

const std::string& IndexPath() {
  static const std::string path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qlf-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    static const std::string folder = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
    return pattern + "/index.xml";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = IndexPath();
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    if (size && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
  }
  try {
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(path, false);
    CXmlNodeEnumerator sections = MakeChildElementEnumerator(*database);
    while (sections.HasMore()) {
      const CDatabaseSection& section = GetSection(sections.Next());
      if (section.GetBegin() > section.GetEnd()) std::abort();
      if (section.GetBegin() < section.GetEnd() && !section.Contains(section.GetBegin())) {
        std::abort();
      }
      if (section.IsLoaded()) std::abort();  // decoding loads no file
    }
  } catch (const std::exception&) {
  }
  return 0;
}
