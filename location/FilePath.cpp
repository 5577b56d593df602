#include "location/FilePath.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// RFC 3986: scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":". A single
// letter before the colon is a Windows drive, not a scheme.
bool HasUrlScheme(std::string_view path) {
  const std::size_t colon = path.find(':');
  if (colon == std::string_view::npos || colon < 2 || !IsAsciiLetter(path[0])) return false;
  return std::all_of(path.begin() + 1, path.begin() + colon, [](char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  });
}

// Whether the path's names (after an optional leading "/") are all names:
// none empty, "." or "..". Such a path is its own normal form.
bool IsPlainPath(std::string_view path) {
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  if (path.empty()) return false;
  for (;;) {
    const std::size_t slash = path.find('/');
    const std::string_view name = path.substr(0, slash);
    if (name.empty() || name == "." || name == "..") return false;
    if (slash == std::string_view::npos) return true;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace

std::string ResolveRelativePath(const std::string& filePath, std::string_view path) {
  if (HasUrlScheme(path) || (!path.empty() && path.front() == '/')) return std::string(path);
  std::string converted(path);
  std::replace(converted.begin(), converted.end(), '\\', '/');
  if (!converted.empty() && converted.front() == '/') return converted;
  // Plain names joined to a plain folder are already normal: the database
  // resolves the file of every section it searches.
  const std::size_t slash = filePath.rfind('/');
  if (IsPlainPath(converted) && (slash == std::string::npos || slash + 1 < filePath.size())) {
    if (slash == std::string::npos) return converted;
    if (slash == 0) return "/" + converted;
    const std::string_view folder(filePath.data(), slash);
    if (IsPlainPath(folder)) return std::string(folder) + "/" + converted;
  }
  const std::filesystem::path folder = std::filesystem::path(filePath).parent_path();
  return (folder / converted).lexically_normal().string();
}

std::string FolderOfPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool CreateDirectoryTree(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::error_code error;
  return std::filesystem::create_directories(folder, error) && !error;
}
