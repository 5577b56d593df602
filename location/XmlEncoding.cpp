#include "location/XmlEncoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return result;
}

// The converter's name for a declared encoding. Files declared Shift_JIS are
// written by Windows programs with the code page 932 extensions (NEC and IBM
// characters, its own mapping of the wave dash), so they are read as CP932.
std::string ConverterName(std::string_view encoding) {
  static const char* const kShiftJis[] = {"shift_jis", "shift-jis", "sjis",        "x-sjis",
                                          "ms_kanji",  "windows-31j", "csshiftjis", "cp932"};
  const std::string lower = Lower(encoding);
  for (const char* name : kShiftJis) {
    if (lower == name) return "CP932";
  }
  return std::string(encoding);
}

class CIconv {
 public:
  CIconv(const char* to, const char* from) : m_handle(iconv_open(to, from)) {}
  CIconv(const CIconv&) = delete;
  CIconv& operator=(const CIconv&) = delete;
  ~CIconv() {
    if (valid()) iconv_close(m_handle);
  }
  bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return m_handle; }

 private:
  iconv_t m_handle;
};

}  // namespace

std::optional<std::string> DeclaredXmlEncoding(std::string_view bytes) {
  if (bytes.substr(0, 5) != "<?xml" || bytes.size() < 6 || !IsXmlSpace(bytes[5])) {
    return std::nullopt;
  }
  const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
  for (std::size_t at = declaration.find("encoding"); at != std::string_view::npos;
       at = declaration.find("encoding", at + 1)) {
    if (!IsXmlSpace(declaration[at - 1])) continue;
    std::size_t i = at + 8;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || declaration[i] != '=') continue;
    ++i;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) continue;
    const char quote = declaration[i++];
    const std::size_t end = declaration.find(quote, i);
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(declaration.substr(i, end - i));
  }
  return std::nullopt;
}

bool IsParserXmlEncoding(std::string_view encoding) {
  const std::string lower = Lower(encoding);
  return lower.rfind("utf", 0) == 0 || lower.find("ucs") != std::string::npos;
}

std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view encoding) {
  const std::string from = ConverterName(encoding);
  CIconv converter("UTF-8", from.c_str());
  if (!converter.valid()) return std::nullopt;

  std::string result(bytes.size() * 3 / 2 + 16, '\0');
  std::size_t used = 0;
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  // Converts what is left, then (with no input) flushes the shift state; the
  // output grows whenever it is full.
  for (bool flushing = false;;) {
    char* out = result.data() + used;
    std::size_t outLeft = result.size() - used;
    const std::size_t status = flushing ? iconv(converter.get(), nullptr, nullptr, &out, &outLeft)
                                        : iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    const int error = errno;
    used = result.size() - outLeft;
    if (status == static_cast<std::size_t>(-1)) {
      if (error != E2BIG) return std::nullopt;  // EILSEQ, or a sequence cut off at the end
      result.resize(result.size() * 2);
    } else if (!flushing) {
      flushing = true;
    } else {
      break;
    }
  }
  result.resize(used);
  return result;
}
