// Qt's JPEG reader decodes a damaged file as far as it can, fills the rest
// grey and reports success; the only sign is a warning it logs. This watch
// picks those warnings up on the thread that decodes.
#pragma once

#include <QByteArray>

class CJpegDamageWatch {
 public:
  // Watches the calling thread until destroyed. The first watch puts a
  // message handler in front of the one the process has; every message still
  // reaches that one.
  CJpegDamageWatch();
  ~CJpegDamageWatch();
  CJpegDamageWatch(const CJpegDamageWatch&) = delete;
  CJpegDamageWatch& operator=(const CJpegDamageWatch&) = delete;

  // True once the JPEG reader has said on this thread, since the watch
  // began, that the picture's data is corrupt or ends early. Ask on that
  // thread.
  bool Seen() const;
  // True once it has said that it skipped stray bytes before a marker. That
  // alone leaves the picture whole, but libjpeg tells only its first warning
  // of a file, so damage after them goes unsaid.
  bool StraySeen() const;

 private:
  unsigned m_damageStart;
  unsigned m_strayStart;
};

// jpeg without the bytes that a decoder skips where it looks for a marker:
// stray bytes between segments, and fill bytes. The coded data of a scan is
// kept whole, stray bytes at its end included, as they cannot be told from
// it without decoding. Bytes that do not hold the structure of a JPEG are
// kept as they are.
QByteArray WithoutStrayJpegBytes(const QByteArray& jpeg);
