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
thread_local unsigned t_stray = 0;
std::atomic<QtMessageHandler> g_next{nullptr};

enum class EJpegWarning { kHarmless, kStray, kDamage };

// libjpeg's warnings that say the picture's data did not decode: a file cut
// short, and bad data in a scan (a bad Huffman or arithmetic code, a scan
// ended by a marker, a lost restart). Bytes skipped before a marker lie
// outside the picture's data, and the other warnings (an unknown JFIF
// revision, say) leave the picture whole too.
EJpegWarning Classify(const QString& text) {
  if (text.startsWith(QLatin1String("Premature end of JPEG file"))) return EJpegWarning::kDamage;
  if (!text.startsWith(QLatin1String("Corrupt JPEG data"))) return EJpegWarning::kHarmless;
  if (text.contains(QLatin1String("extraneous bytes before marker"))) return EJpegWarning::kStray;
  return EJpegWarning::kDamage;
}

void NoteDamage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (t_watches > 0 && type == QtWarningMsg && context.category != nullptr &&
      std::strcmp(context.category, "qt.gui.imageio.jpeg") == 0) {
    switch (Classify(text)) {
      case EJpegWarning::kDamage: ++t_damage; break;
      case EJpegWarning::kStray: ++t_stray; break;
      case EJpegWarning::kHarmless: break;
    }
  }
  if (const QtMessageHandler next = g_next.load(std::memory_order_acquire)) {
    next(type, context, text);
  } else {
    // Only in the moment between installing this handler and learning the
    // one before it.
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
  }
}

bool IsRestart(unsigned char code) { return code >= 0xD0 && code <= 0xD7; }

}  // namespace

CJpegDamageWatch::CJpegDamageWatch() : m_damageStart(t_damage), m_strayStart(t_stray) {
  static std::once_flag installed;
  // Qt hands back its default handler when none was set before.
  std::call_once(installed, [] {
    g_next.store(qInstallMessageHandler(NoteDamage), std::memory_order_release);
  });
  ++t_watches;
}

CJpegDamageWatch::~CJpegDamageWatch() { --t_watches; }

bool CJpegDamageWatch::Seen() const { return t_damage != m_damageStart; }

bool CJpegDamageWatch::StraySeen() const { return t_stray != m_strayStart; }

QByteArray WithoutStrayJpegBytes(const QByteArray& jpeg) {
  const auto* b = reinterpret_cast<const unsigned char*>(jpeg.constData());
  const qsizetype n = jpeg.size();
  if (n < 2 || b[0] != 0xFF || b[1] != 0xD8) return jpeg;
  QByteArray out;
  out.reserve(n);
  out.append(jpeg.constData(), 2);
  qsizetype pos = 2;
  auto keepRest = [&] { out.append(jpeg.constData() + pos, n - pos); };
  while (pos < n) {
    // The next marker as the decoder finds it: an 0xFF, any more of them,
    // then a code; 0xFF 0x00 is data, skipped like the stray bytes.
    qsizetype code = -1;
    for (qsizetype at = pos; at < n;) {
      while (at < n && b[at] != 0xFF) ++at;
      while (at < n && b[at] == 0xFF) ++at;
      if (at < n && b[at] != 0x00) {
        code = at;
        break;
      }
      ++at;
    }
    if (code < 0) break;
    const unsigned char marker = b[code];
    out.append(char(0xFF)).append(char(marker));
    pos = code + 1;
    if (marker == 0xD9) break;  // the end of the image
    if (marker == 0x01 || marker == 0xD8 || IsRestart(marker)) continue;  // no segment
    if (n - pos < 2) break;
    const qsizetype length = (qsizetype(b[pos]) << 8) | b[pos + 1];
    if (length < 2 || n - pos < length) break;
    out.append(jpeg.constData() + pos, length);
    pos += length;
    if (marker == 0xDA) {
      // A scan's coded data runs to the first marker other than a restart.
      qsizetype end = pos;
      while (end < n && !(b[end] == 0xFF && end + 1 < n && b[end + 1] != 0x00 &&
                          b[end + 1] != 0xFF && !IsRestart(b[end + 1]))) {
        ++end;
      }
      out.append(jpeg.constData() + pos, end - pos);
      pos = end;
    }
  }
  if (pos < n) keepRest();
  return out;
}
