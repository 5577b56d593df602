#include "app/FileDialogs.h"

#include <QFileDialog>
#include <QStringList>

namespace {

QStringList ToQtFilters(const std::string& filter) {
  QStringList list;
  for (const std::string& name : ToNameFilters(filter)) list << QString::fromStdString(name);
  return list;
}

class CQtFileDialogs final : public CFileDialogs {
 public:
  std::vector<std::string> GetOpenFileNames(QWidget* owner, const std::string& filter,
                                            const std::string& defaultSuffix) override {
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(ToQtFilters(filter));
    dialog.setDefaultSuffix(QString::fromStdString(defaultSuffix));
    std::vector<std::string> chosen;
    if (dialog.exec() != QDialog::Accepted) return chosen;
    for (const QString& file : dialog.selectedFiles()) chosen.push_back(file.toStdString());
    return chosen;
  }

  std::string GetSaveFileName(QWidget* owner, const std::string& filter,
                              const std::string& defaultSuffix) override {
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(ToQtFilters(filter));
    dialog.setDefaultSuffix(QString::fromStdString(defaultSuffix));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
  }
};

CFileDialogs* g_installed = nullptr;

}  // namespace

std::string CFileDialogs::GetBrowseFileName(QWidget* owner, const std::string& filter,
                                            const std::string& defaultSuffix,
                                            const std::string& initialPath) {
  QFileDialog dialog(owner);
  // Any name may be chosen: the file is created when it is first used.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters(ToQtFilters(filter));
  dialog.setDefaultSuffix(QString::fromStdString(defaultSuffix));
  if (!initialPath.empty()) dialog.selectFile(QString::fromStdString(initialPath));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

CFileDialogs& GetFileDialogs() {
  static CQtFileDialogs dialogs;
  return g_installed ? *g_installed : dialogs;
}

void SetFileDialogs(CFileDialogs* dialogs) { g_installed = dialogs; }

std::vector<std::string> ToNameFilters(const std::string& filter) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start < filter.size()) {
    const auto end = filter.find('\n', start);
    parts.push_back(filter.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::vector<std::string> filters;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns = parts[i + 1];
    for (char& c : patterns)
      if (c == ';') c = ' ';
    // The display name already shows the pattern; Qt takes it from the parentheses.
    const auto open = parts[i].find('(');
    filters.push_back(open == std::string::npos ? parts[i] + " (" + patterns + ")"
                                                : parts[i].substr(0, open) + "(" + patterns + ")");
  }
  return filters;
}
