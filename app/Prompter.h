// Every message box of the program goes through one prompter, so tests can
// answer the questions and read the errors.
#pragma once

#include <memory>
#include <string>

class QMessageBox;
class QWidget;

enum class EPromptKind {
  Error,             // the error icon and an OK button
  YesNoInformation,  // a question with Yes and No and the information icon
  YesNoCancelWarning,
};

enum class EPromptAnswer { Ok, Yes, No, Cancel };

class CPrompter {
 public:
  virtual ~CPrompter() = default;
  // Shows a modal box owned by owner (none for a box of the whole program);
  // an empty caption leaves the platform's default.
  virtual EPromptAnswer Show(QWidget* owner, EPromptKind kind, const std::string& text,
                             const std::string& caption) = 0;
};

// The prompter in use: message boxes unless one was installed.
CPrompter& GetPrompter();
// Installs a prompter (not owned); null brings the message boxes back.
void SetPrompter(CPrompter* prompter);

// The box the default prompter shows, not yet shown: wide enough for its
// caption to show whole in the title bar.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, EPromptKind kind,
                                            const std::string& text, const std::string& caption);

// Shorthands for the two kinds the program uses most.
void ShowErrorBox(QWidget* owner, const std::string& text, const std::string& caption);
bool AskYesNo(QWidget* owner, const std::string& text, const std::string& caption);
