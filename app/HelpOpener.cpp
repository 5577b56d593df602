#include "app/HelpOpener.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace {
HelpOpener g_opener;
}

void OpenHelpDocument(const std::string& path) {
  if (g_opener) {
    g_opener(path);
    return;
  }
  // The viewer's answer is not checked: a missing viewer leaves nothing to report.
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void SetHelpOpener(HelpOpener opener) { g_opener = std::move(opener); }
