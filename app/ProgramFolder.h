// "Next to the program": the folder that holds the program, its help page and
// the default map catalogue. Tests and installs may point it elsewhere.
#pragma once

#include <string>

// The redirected folder when one is set, else the running program's folder.
std::string GetProgramFolder();
// Redirects the folder; an empty text restores the program's own.
void SetProgramFolder(const std::string& folder);
// folder + "/" + name, with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);
