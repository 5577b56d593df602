// The open and save file dialogs, behind one interface that tests answer.
#pragma once

#include <string>
#include <vector>

class QWidget;

class CFileDialogs {
 public:
  virtual ~CFileDialogs() = default;
  // The filter is "name\npattern\n..." pairs, as the string table holds them.
  // Returns the chosen existing files; none when the user cancelled.
  virtual std::vector<std::string> GetOpenFileNames(QWidget* owner, const std::string& filter,
                                                    const std::string& defaultSuffix) = 0;
  // Returns the chosen path; empty when the user cancelled. An existing file
  // is chosen without an overwrite question.
  virtual std::string GetSaveFileName(QWidget* owner, const std::string& filter,
                                      const std::string& defaultSuffix) = 0;
  // Returns one path, starting from initialPath; the file need not exist yet.
  // Empty when the user cancelled. The platform's dialog unless overridden.
  virtual std::string GetBrowseFileName(QWidget* owner, const std::string& filter,
                                        const std::string& defaultSuffix,
                                        const std::string& initialPath);
};

CFileDialogs& GetFileDialogs();
// Installs dialogs (not owned); null brings the platform's dialogs back.
void SetFileDialogs(CFileDialogs* dialogs);
// "XML ファイル (*.xml)\n*.xml\n..." -> the name filters of a Qt file dialog.
std::vector<std::string> ToNameFilters(const std::string& filter);
