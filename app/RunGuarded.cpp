#include "app/RunGuarded.h"

#include <QWidget>
#include <exception>
#include <string>

#include "app/AppStrings.h"
#include "app/Prompter.h"

namespace {

// The title comes from the string table, so the guard works also before the
// application core exists and after it is gone.
std::string GuardCaption() { return LoadAppString(IDS_TITLE); }

void ShowGuardBox(QWidget* owner, const char* text) {
  try {
    ShowErrorBox(owner, text, GuardCaption());
  } catch (...) {
    // Nothing is left to tell the user with.
  }
}

}  // namespace

bool RunGuarded(QWidget* owner, const std::function<void()>& operation) {
  try {
    operation();
    return true;
  } catch (const std::exception& e) {
    ShowGuardBox(owner, e.what());
  } catch (...) {
    ShowGuardBox(owner, "Unknown Exception");
  }
  return false;
}

CGuardedApplication::CGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool CGuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowGuardBox(QApplication::activeWindow(), e.what());
  } catch (...) {
    ShowGuardBox(QApplication::activeWindow(), "Unknown Exception");
  }
  return false;
}
