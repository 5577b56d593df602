#include "app/ProgramFolder.h"

#include <QCoreApplication>

#include "location/Exceptions.h"

namespace {
std::string g_redirected;
}

std::string GetProgramFolder() {
  if (!g_redirected.empty()) return g_redirected;
  if (QCoreApplication::instance() == nullptr)
    throw CWin32Exception(0, "The program's folder is not known before the application starts");
  return QCoreApplication::applicationDirPath().toStdString();
}

void SetProgramFolder(const std::string& folder) { g_redirected = folder; }

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}
