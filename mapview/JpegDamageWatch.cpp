#include "mapview/JpegDamageWatch.h"

#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

thread_local int t_watches = 0;
thread_local unsigned t_damage = 0;
std::atomic<QtMessageHandler> g_next{nullptr};

// The texts libjpeg gives for data it could not decode; its other warnings
// (an unknown JFIF revision, say) leave the picture whole.
bool TellsOfDamage(const QString& text) {
  return text.startsWith(QLatin1String("Corrupt JPEG data")) ||
         text.startsWith(QLatin1String("Premature end of JPEG file"));
}

void NoteDamage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (t_watches > 0 && type == QtWarningMsg && context.category != nullptr &&
      std::strcmp(context.category, "qt.gui.imageio.jpeg") == 0 && TellsOfDamage(text)) {
    ++t_damage;
  }
  if (const QtMessageHandler next = g_next.load(std::memory_order_acquire)) {
    next(type, context, text);
  } else {
    // Only in the moment between installing this handler and learning the
    // one before it.
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
  }
}

}  // namespace

CJpegDamageWatch::CJpegDamageWatch() : m_start(t_damage) {
  static std::once_flag installed;
  // Qt hands back its default handler when none was set before.
  std::call_once(installed, [] {
    g_next.store(qInstallMessageHandler(NoteDamage), std::memory_order_release);
  });
  ++t_watches;
}

CJpegDamageWatch::~CJpegDamageWatch() { --t_watches; }

bool CJpegDamageWatch::Seen() const { return t_damage != m_start; }
