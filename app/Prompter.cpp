#include "app/Prompter.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QString>
#include <QStyle>

namespace {

// The width a title bar needs to show the caption whole: its text in the
// bold face most title bars use, with room for the window's icon and buttons.
int CaptionWidth(const QWidget& box, const QString& caption) {
  QFont font = box.font();
  font.setBold(true);
  const int text = QFontMetrics(font).horizontalAdvance(caption) * 6 / 5;
  return text + 5 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
}

class CMessageBoxPrompter final : public CPrompter {
 public:
  EPromptAnswer Show(QWidget* owner, EPromptKind kind, const std::string& text,
                     const std::string& caption) override {
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(owner, kind, text, caption);
    switch (box->exec()) {
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

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, EPromptKind kind,
                                            const std::string& text, const std::string& caption) {
  auto box = std::make_unique<QMessageBox>(owner);
  box->setText(QString::fromStdString(text));
  // A box without owner stands for the whole program.
  if (owner == nullptr) box->setWindowModality(Qt::ApplicationModal);
  switch (kind) {
    case EPromptKind::Error:
      box->setIcon(QMessageBox::Critical);
      box->setStandardButtons(QMessageBox::Ok);
      break;
    case EPromptKind::YesNoInformation:
      box->setIcon(QMessageBox::Information);
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case EPromptKind::YesNoCancelWarning:
      box->setIcon(QMessageBox::Warning);
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  if (!caption.empty()) {
    const QString title = QString::fromStdString(caption);
    box->setWindowTitle(title);
    // A box sized to a short text would leave its title bar too narrow for
    // the program's name; the box sizes itself to its layout's minimum.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
      grid->addItem(new QSpacerItem(CaptionWidth(*box, title), 0, QSizePolicy::Minimum),
                    grid->rowCount(), 0, 1, grid->columnCount());
    }
  }
  return box;
}

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
