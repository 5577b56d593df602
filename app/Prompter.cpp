#include "app/Prompter.h"

#include <QMessageBox>
#include <QString>

namespace {

class CMessageBoxPrompter final : public CPrompter {
 public:
  EPromptAnswer Show(QWidget* owner, EPromptKind kind, const std::string& text,
                     const std::string& caption) override {
    QMessageBox box(owner);
    box.setText(QString::fromStdString(text));
    if (!caption.empty()) box.setWindowTitle(QString::fromStdString(caption));
    // A box without owner stands for the whole program.
    if (owner == nullptr) box.setWindowModality(Qt::ApplicationModal);
    switch (kind) {
      case EPromptKind::Error:
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
      case EPromptKind::YesNoInformation:
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
      case EPromptKind::YesNoCancelWarning:
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
      case QMessageBox::Yes:
        return EPromptAnswer::Yes;
      case QMessageBox::No:
        return EPromptAnswer::No;
      case QMessageBox::Cancel:
        return EPromptAnswer::Cancel;
      default:
        // Closing a Yes/No box without an answer counts as No, as Escape does.
        return kind == EPromptKind::Error ? EPromptAnswer::Ok
               : kind == EPromptKind::YesNoInformation ? EPromptAnswer::No
                                                       : EPromptAnswer::Cancel;
    }
  }
};

CPrompter* g_installed = nullptr;

}  // namespace

CPrompter& GetPrompter() {
  static CMessageBoxPrompter boxes;
  return g_installed ? *g_installed : boxes;
}

void SetPrompter(CPrompter* prompter) { g_installed = prompter; }

void ShowErrorBox(QWidget* owner, const std::string& text, const std::string& caption) {
  GetPrompter().Show(owner, EPromptKind::Error, text, caption);
}

bool AskYesNo(QWidget* owner, const std::string& text, const std::string& caption) {
  return GetPrompter().Show(owner, EPromptKind::YesNoInformation, text, caption) ==
         EPromptAnswer::Yes;
}
