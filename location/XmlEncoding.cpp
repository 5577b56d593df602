#include "location/XmlEncoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

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

// U+FFFD in UTF-8.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// How many bytes at the start of `bytes`, which the converter refused, stand
// for one character it cannot read: the longest start of a sequence the
// encoding would take, with the byte that broke it off, found by converting
// ever longer starts from the initial state.
std::size_t UndecodableLength(iconv_t probe, std::string_view bytes) {
  constexpr std::size_t kLongestSequence = 4;  // GB18030; EUC-JP takes 3
  const std::size_t limit = std::min(kLongestSequence, bytes.size());
  for (std::size_t length = 1; length <= limit; ++length) {
    iconv(probe, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = length;
    char buffer[64];
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(probe, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) {
      return 1;  // read from the initial state: the converter's shift state refused it
    }
    if (errno != EINVAL) return errno == EILSEQ ? length : 1;
    // EINVAL: a start that more bytes could complete
  }
  return 1;
}

// A refused sequence ends before the first ASCII byte after its lead byte:
// that byte is read again on its own, so the markup after a stray lead byte
// stays markup.
std::size_t BeforeAscii(std::string_view bytes, std::size_t length) {
  for (std::size_t i = 1; i < length; ++i) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) return i;
  }
  return length;
}

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
  std::unique_ptr<CIconv> probe;  // made at the first byte the encoding cannot hold

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
    if (status != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      flushing = true;
    } else if (error == E2BIG) {
      result.resize(result.size() * 2);
    } else if (!flushing && (error == EILSEQ || error == EINVAL)) {
      // As a stray byte in UTF-8 does: one U+FFFD for each sequence the
      // encoding cannot hold (EILSEQ) or that the file cuts off (EINVAL).
      const std::string_view rest(in, inLeft);
      std::size_t length = inLeft;
      if (error == EILSEQ) {
        if (!probe) probe = std::make_unique<CIconv>("UTF-8", from.c_str());
        length = probe->valid() ? UndecodableLength(probe->get(), rest) : 1;
      }
      length = BeforeAscii(rest, length);
      in += length;
      inLeft -= length;
      if (result.size() - used < kReplacement.size()) result.resize(result.size() * 2);
      result.replace(used, kReplacement.size(), kReplacement);
      used += kReplacement.size();
    } else {
      return std::nullopt;
    }
  }
  result.resize(used);
  return result;
}
