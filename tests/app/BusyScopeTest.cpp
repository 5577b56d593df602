#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/BusyScope.h"
#include "tests/app/AppTestSupport.h"

namespace {

// Counts what reaches it.
class CCountingWidget : public QWidget {
 public:
  int keys = 0;
  int paints = 0;
  int closes = 0;

 protected:
  void keyPressEvent(QKeyEvent*) override { ++keys; }
  void paintEvent(QPaintEvent*) override { ++paints; }
  void closeEvent(QCloseEvent* event) override {
    ++closes;
    event->accept();
  }
};

void Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

using BusyScopeTest = AppTest;

TEST_F(BusyScopeTest, TheWindowPaintsAndTimersRunWhileTheUserIsKeptOut) {
  CCountingWidget widget;
  widget.resize(100, 100);
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  QApplication::processEvents();
  const int paintsBefore = widget.paints;

  bool waitCursorSeen = false;
  int ticks = 0;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    const QCursor* cursor = QApplication::overrideCursor();
    if (cursor && cursor->shape() == Qt::WaitCursor) waitCursorSeen = true;
    widget.update();
    if (ticks == 2) {
      QCoreApplication::postEvent(&widget,
                                  new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
      QCoreApplication::postEvent(&widget, new QCloseEvent);
    }
  });
  timer.start();
  {
    CBusyScope busy;
    busy.Run([] { Sleep(400); });
  }
  timer.stop();
  QApplication::processEvents();

  EXPECT_GE(ticks, 3);
  EXPECT_TRUE(waitCursorSeen);
  EXPECT_GT(widget.paints, paintsBefore);
  // Swallowed, not put off until later.
  EXPECT_EQ(widget.keys, 0);
  EXPECT_EQ(widget.closes, 0);
  EXPECT_TRUE(widget.isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Input reaches the widget again afterwards.
  QCoreApplication::postEvent(&widget, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
  QApplication::processEvents();
  EXPECT_EQ(widget.keys, 1);
}

TEST_F(BusyScopeTest, TheWorkersExceptionComesBackOnTheCallersThread) {
  CBusyScope busy;
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id worker;
  try {
    busy.Run([&] {
      worker = std::this_thread::get_id();
      throw std::invalid_argument("from the worker");
    });
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "from the worker");
  }
  EXPECT_NE(worker, caller);
  // Work that finishes before the loop starts does not hang it.
  int runs = 0;
  busy.Run([&] { ++runs; });
  busy.Run([&] { ++runs; });
  EXPECT_EQ(runs, 2);
}

}  // namespace
