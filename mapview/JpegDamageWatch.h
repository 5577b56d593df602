// Qt's JPEG reader decodes a damaged file as far as it can, fills the rest
// grey and reports success; the only sign is a warning it logs. This watch
// picks those warnings up on the thread that decodes.
#pragma once

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
  // began, that the data is corrupt or ends early. Ask on that thread.
  bool Seen() const;

 private:
  unsigned m_start;
};
