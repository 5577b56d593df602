#include "app/Application.h"

#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>
#include <exception>
#include <memory>

#include "app/MainFrame.h"
#include "app/MapImageFetch.h"
#include "app/Prompter.h"
#include "app/RootFolder.h"
#include "app/RunGuarded.h"
#include "app/SingleInstance.h"
#include "mapview/MapCatalog.h"
#include "mapview/TileWorker.h"

MapCatalogOpener DefaultMapCatalogOpener() {
  return [](const std::string& path, bool create) -> std::unique_ptr<CMapSet> {
    CMapCatalogOptions options;
    options.fetch = FetchMapImageOverHttp;
    return std::make_unique<CMapCatalog>(path, create, std::move(options));
  };
}

int RunMainFrame(CAppCoreSetup setup, CSingleInstance* instance) {
  CAppCore core(std::move(setup));
  auto frame = std::make_unique<CMainFrame>();
  // A closed window is a clean end: exit code 0, as Linux expects.
  frame->SetWindowDestroyedHandler([] { QCoreApplication::exit(0); });
  frame->Create();
  if (instance) instance->Listen([&frame] { frame->BringToFront(); });
  frame->show();
  int result = 0;
  // The loop runs for as long as the window is open.
  while (!frame->IsWindowDestroyed()) result = QApplication::exec();
  if (instance) instance->Release();
  RunGuarded(nullptr, [&] { frame->SaveSettings(); });
  frame.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return result;
}

int RunApplication(int argc, char** argv) {
  CGuardedApplication application(argc, argv);
  // Qt took the user's locale for every category; numbers in files and
  // messages must not depend on it.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("QlFolvane"));
  // Standard buttons and dialogs speak the user's language, as the system's
  // own boxes do; the program's own texts are Japanese whatever the locale.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&qtTexts);
  }
  int result = 1;
  try {
    CSingleInstance instance;
    if (!instance.Claim()) {
      instance.BringFirstForward();
      return 0;
    }
    CAppCoreSetup setup;
    setup.openMapCatalog = DefaultMapCatalogOpener();
    result = RunMainFrame(std::move(setup), &instance);
  } catch (const std::exception& e) {
    // The claim is given up as the error leaves the body, so a new instance
    // can start while this box is shown.
    ReleaseRootFolder();
    StopTileWorker();
    ShowErrorBox(nullptr, e.what(), std::string());
    return 1;
  }
  ReleaseRootFolder();
  // The application object goes next: no tile job may post to it after that.
  StopTileWorker();
  return result;
}
