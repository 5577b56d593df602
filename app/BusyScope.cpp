#include "app/BusyScope.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <exception>
#include <thread>

class CBusyInputFilter : public QObject {
 public:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
        return true;
      case QEvent::Close:
        // The window stays while the receive that it shows is running.
        if (receiver->isWidgetType()) {
          event->ignore();
          return true;
        }
        return false;
      default:
        return false;
    }
  }
};

namespace {

bool OnUserInterfaceThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

CBusyScope::CBusyScope() {
  if (!OnUserInterfaceThread()) return;
  m_filter = std::make_unique<CBusyInputFilter>();
  QCoreApplication::instance()->installEventFilter(m_filter.get());
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

CBusyScope::~CBusyScope() {
  if (!m_filter) return;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    QApplication::restoreOverrideCursor();
  QCoreApplication::instance()->removeEventFilter(m_filter.get());
}

void CBusyScope::Run(const std::function<void()>& work) {
  if (!m_filter || !OnUserInterfaceThread()) {
    work();
    return;
  }
  QEventLoop loop;
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    // Queued to the loop's thread: the loop ends once it sees it.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The loop may also end early when the application is quitting; the join
  // then waits for the worker without painting.
  if (!done) loop.exec();
  worker.join();
  // The quit posted to the loop, if still queued, goes with the loop.
  if (failure) std::rethrow_exception(failure);
}
