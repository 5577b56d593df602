// The guard through which every handler of ours runs: an exception never
// crosses a Qt frame, it ends in an error box owned by the window concerned.
#pragma once

#include <QApplication>
#include <functional>

class QWidget;

// Runs the operation once. A standard exception shows what() in an error box
// owned by owner, captioned with the program title; any other exception shows
// "Unknown Exception". Either way the call returns normally: letting it go on
// would carry it through Qt's frames. Returns whether the operation finished.
bool RunGuarded(QWidget* owner, const std::function<void()>& operation);

// The last net under every event handler: an exception that escapes a handler
// is shown like RunGuarded shows it, owned by the active window, and the event
// counts as not handled.
class CGuardedApplication : public QApplication {
 public:
  CGuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
