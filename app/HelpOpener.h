// Opens the help document with the desktop's viewer; tests install their own.
#pragma once

#include <functional>
#include <string>

using HelpOpener = std::function<void(const std::string& path)>;

// Opens path with the installed opener, or with the desktop's viewer.
void OpenHelpDocument(const std::string& path);
// Installs an opener; an empty one brings the desktop's viewer back.
void SetHelpOpener(HelpOpener opener);
