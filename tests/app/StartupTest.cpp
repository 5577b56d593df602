#include <QElapsedTimer>
#include <QMouseEvent>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <future>
#include <stdexcept>
#include <thread>

#include "app/Application.h"
#include "app/MainFrame.h"
#include "app/RunGuarded.h"
#include "app/SingleInstance.h"
#include "location/Exceptions.h"
#include "tests/app/AppTestSupport.h"

namespace {

using StartupTest = AppTest;

TEST_F(StartupTest, OneInstanceHoldsTheClaimAndASecondOneBringsItForward) {
  QTemporaryDir runtime;
  CSingleInstance first(runtime.path().toStdString());
  ASSERT_TRUE(first.Claim());
  CSingleInstance second(runtime.path().toStdString());
  EXPECT_FALSE(second.Claim());

  // Before the first one listens (its window is not made yet) there is no one
  // to bring forward: the second reports the system's error.
  try {
    second.BringFirstForward(500);
    ADD_FAILURE() << "reached an instance that does not listen";
  } catch (const CWin32Exception& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }

  int raised = 0;
  first.Listen([&] { ++raised; });
  // The second instance waits for the answer while the first one's loop runs.
  auto answer = std::async(std::launch::async, [&] {
    CSingleInstance other(runtime.path().toStdString());
    if (other.Claim()) return std::string("claimed");
    try {
      other.BringFirstForward(5000);
      return std::string("ok");
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
  });
  QElapsedTimer waited;
  waited.start();
  while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
         waited.elapsed() < 10000)
    QTest::qWait(10);
  EXPECT_EQ(answer.get(), "ok");
  EXPECT_EQ(raised, 1);

  // Once the first gives the claim up, the next one starts normally.
  first.Release();
  EXPECT_TRUE(second.Claim());
}

TEST_F(StartupTest, AClosedRunEndsWithZeroAndTearsDownInOrder) {
  CAppCoreSetup setup;
  setup.settings = std::make_unique<CMemorySettingsKey>(store);
  QTimer::singleShot(0, [] {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (auto* frame = dynamic_cast<CMainFrame*>(window)) frame->close();
  });
  EXPECT_EQ(RunMainFrame(std::move(setup), nullptr), 0);
  EXPECT_EQ(GetAppCore(), nullptr);
  EXPECT_TRUE(store->Has("SplitterPos"));
  EXPECT_TRUE(store->Has("ViewScale"));
  EXPECT_TRUE(store->Has("ServerURL"));
}

class CThrowingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("handler failed");
    return QObject::event(event);
  }
};

TEST_F(StartupTest, TheGuardShowsWhatEscapesAHandlerAndCarriesOn) {
  EXPECT_TRUE(RunGuarded(nullptr, [] {}));
  QWidget owner;
  EXPECT_FALSE(RunGuarded(&owner, [] { throw std::runtime_error("boom"); }));
  EXPECT_FALSE(RunGuarded(&owner, [] { throw 42; }));
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[0].owner, &owner);
  EXPECT_EQ(prompter.shown[0].text, "boom");
  EXPECT_EQ(prompter.shown[0].caption, "Quor Lumo Folvane");
  EXPECT_EQ(prompter.shown[1].text, "Unknown Exception");

  // The application's last net under event handlers.
  auto& application = static_cast<CGuardedApplication&>(TestApplication());
  CThrowingObject receiver;
  QEvent event(QEvent::User);
  EXPECT_FALSE(application.notify(&receiver, &event));
  ASSERT_EQ(prompter.shown.size(), 3u);
  EXPECT_EQ(prompter.shown[2].text, "handler failed");
}

#ifdef QLF_PROGRAM_PATH
TEST_F(StartupTest, ASecondProgramBringsTheFirstForwardAndExitsWithZero) {
  QTemporaryDir home;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
    const QString folder = home.filePath(QString::fromLatin1(name));
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner);
    environment.insert(QString::fromLatin1(name), folder);
  }
  // An empty database at the default place: no question holds the start up.
  const QString index =
      home.filePath(QStringLiteral("XDG_DATA_HOME/KESTOVAN/Quor Lumo Folvane/LocationDatabase"));
  QDir().mkpath(index);
  QFile indexFile(index + QStringLiteral("/index.xml"));
  ASSERT_TRUE(indexFile.open(QIODevice::WriteOnly));
  indexFile.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<index/>\n");
  indexFile.close();
  // And an empty map catalogue named in the settings, so no map question either.
  const QString maps = home.filePath(QStringLiteral("maps.xml"));
  QFile mapsFile(maps);
  ASSERT_TRUE(mapsFile.open(QIODevice::WriteOnly));
  mapsFile.write("<maps/>\n");
  mapsFile.close();
  const QString settings =
      home.filePath(QStringLiteral("XDG_CONFIG_HOME/KESTOVAN/Quor Lumo Folvane"));
  QDir().mkpath(settings);
  QFile settingsFile(settings + QStringLiteral("/settings.txt"));
  ASSERT_TRUE(settingsFile.open(QIODevice::WriteOnly));
  settingsFile.write("Quor Lumo Folvane settings 1\n\n[Software\\KESTOVAN\\Quor Lumo Folvane]\n"
                     "\"MapFile\"=path:\"" + maps.toUtf8() + "\"\n");
  settingsFile.close();
  settingsFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.remove(QStringLiteral("ASAN_OPTIONS"));
  environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
  QProcess first;
  first.setProcessEnvironment(environment);
  first.start(QStringLiteral(QLF_PROGRAM_PATH), {});
  ASSERT_TRUE(first.waitForStarted(10000));
  const QString socket = home.filePath(QStringLiteral("XDG_RUNTIME_DIR/QlFolvane.socket"));
  QElapsedTimer waited;
  waited.start();
  while (!QFile::exists(socket) && waited.elapsed() < 30000) QTest::qWait(50);
  ASSERT_TRUE(QFile::exists(socket)) << first.readAllStandardError().toStdString();

  QProcess second;
  second.setProcessEnvironment(environment);
  second.start(QStringLiteral(QLF_PROGRAM_PATH), {});
  ASSERT_TRUE(second.waitForFinished(30000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
  first.terminate();
  first.waitForFinished(10000);
}
#endif

}  // namespace
