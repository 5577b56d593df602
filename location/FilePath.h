// Path operations of the file layer.
#pragma once

#include <string>
#include <string_view>

// Resolves a reference found in a file against the folder of that file's own
// path. A URL with a scheme ("http:", "file:") and an absolute path are
// returned as they stand; in any other path "\" separates components, as in
// files written on Windows.
std::string ResolveRelativePath(const std::string& filePath, std::string_view path);

// The folder part of a path: "." when it has none, "/" for a name at the root.
std::string FolderOfPath(const std::string& path);

// Creates the folder and any missing parents. True when the folder was created;
// false when it already existed or a level could not be made.
bool CreateDirectoryTree(const std::string& path);
