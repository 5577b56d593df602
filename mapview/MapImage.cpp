#include "mapview/MapImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "mapview/JpegDamageWatch.h"

namespace {

// The lower-case URL scheme of location, or empty for a path. One letter
// before the colon is a drive, not a scheme.
std::string SchemeOf(const std::string& location) {
  const std::size_t colon = location.find(':');
  if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(location[0]))) {
    return {};
  }
  std::string scheme = location.substr(0, colon);
  for (char& c : scheme) {
    const auto u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '+' && c != '-' && c != '.') return {};
    c = static_cast<char>(std::tolower(u));
  }
  return scheme;
}

std::runtime_error NotFound(const std::string& location, const std::string& reason) {
  return std::runtime_error("Image File Not Found: " + location + "\n" + reason);
}

// The image library reads a crop as height rows of the image's whole stride
// from the crop's first pixel, so the last row of a crop right of the image's
// left edge runs up to one row past the image: a spare row keeps that inside
// the buffer.
QImage WithSpareRow(const QImage& image) {
  const qsizetype stride = image.bytesPerLine();
  const qsizetype size = stride * (qsizetype(image.height()) + 1);
  auto* buffer = static_cast<uchar*>(std::malloc(static_cast<std::size_t>(size)));
  if (buffer == nullptr) throw std::bad_alloc();
  QImage padded(buffer, image.width(), image.height(), stride, image.format(),
                [](void* data) { std::free(data); }, buffer);
  std::memcpy(buffer, image.constBits(), static_cast<std::size_t>(stride * image.height()));
  std::memset(buffer + stride * image.height(), 0, static_cast<std::size_t>(stride));
  return padded;
}

// Hands a decoder the bytes of another device. Once the load is abandoned
// every read fails, so the decoder takes in nothing more. A read at the end
// is noted: the JPEG decoder asks past the end only for a file cut short,
// which it pads grey and reports read.
class CDecodeSource final : public QIODevice {
 public:
  CDecodeSource(QIODevice& bytes, std::stop_token stop) : m_bytes(bytes), m_stop(std::move(stop)) {
    // Unbuffered: each read is one the decoder asked for.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  }
  bool isSequential() const override { return false; }
  qint64 size() const override { return m_bytes.size(); }
  bool seek(qint64 pos) override { return QIODevice::seek(pos) && m_bytes.seek(pos); }
  bool ReadPastEnd() const { return m_readPastEnd; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    if (m_stop.stop_requested()) return -1;
    const qint64 read = m_bytes.read(data, maxSize);
    if (read == 0 && maxSize > 0) m_readPastEnd = true;
    return read;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QIODevice& m_bytes;
  std::stop_token m_stop;
  bool m_readPastEnd = false;
};

struct CDecoded {
  QImage image;
  bool whole = false;  // decoded to its end, with no word of damage
  bool stray = false;  // a JPEG's stray bytes, which hide what came after them
};

CDecoded DecodeOnce(QIODevice& bytes, const std::stop_token& stop) {
  const bool jpeg = bytes.peek(3) == QByteArray("\xFF\xD8\xFF", 3);
  CDecodeSource source(bytes, stop);
  const CJpegDamageWatch damage;
  QImageReader reader(&source);
  CDecoded decoded;
  const bool read = reader.read(&decoded.image);
  if (stop.stop_requested()) throw CMapLoadAbandoned();
  // Other decoders read to the end of a whole file, so only a JPEG's read
  // past the end tells of one cut short.
  decoded.whole = read && !decoded.image.isNull() && !damage.Seen() &&
                  !(jpeg && source.ReadPastEnd());
  decoded.stray = jpeg && damage.StraySeen();
  return decoded;
}

QImage Decode(QIODevice& bytes, const std::string& location, const std::stop_token& stop) {
  // Qt's limit is process-wide; the default would refuse large maps.
  static std::once_flag limitSet;
  std::call_once(limitSet, [] { QImageReader::setAllocationLimit(kMapImageAllocationLimitMb); });

  CDecoded decoded = DecodeOnce(bytes, stop);
  if (decoded.whole && decoded.stray) {
    // Stray bytes between segments are a writer's slip that the decoder
    // skips; bytes left over after a scan's data tell of a scan that did not
    // decode as written. Without the first kind the decoder has its say on
    // the rest (it tells only its first warning), with the same pixels.
    decoded.whole = false;
    if (bytes.seek(0)) {
      const QByteArray all = bytes.readAll();
      QByteArray cleaned = WithoutStrayJpegBytes(all);
      if (cleaned.size() != all.size()) {
        QBuffer buffer(&cleaned);
        buffer.open(QIODevice::ReadOnly);
        decoded = DecodeOnce(buffer, stop);
        decoded.whole = decoded.whole && !decoded.stray;
      }
    }
  }
  if (!decoded.whole) throw std::runtime_error("Invalid Image File: " + location);
  QImage image = std::move(decoded.image);
  if (image.format() != QImage::Format_RGB888) {
    image = image.convertToFormat(QImage::Format_RGB888);
    if (image.isNull()) throw std::runtime_error("Invalid Image File: " + location);
  }
  return WithSpareRow(image);
}

// Opens path when it names a regular file. A FIFO would hold the open until
// a writer comes, and a device its reads: the file is opened without
// waiting, then judged by what was opened.
void OpenRegularFile(QFile& file, const QString& path, const std::string& location) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw NotFound(location, std::generic_category().message(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    throw NotFound(location, "Not a regular file");
  }
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    throw NotFound(location, file.errorString().toStdString());
  }
}

}  // namespace

QImage LoadMapImage(const std::string& location, const CMapImageFetcher& fetch,
                    std::stop_token stop) {
  const std::string scheme = SchemeOf(location);
  if (IsRemoteMapImage(location)) {
    std::string bytes;
    try {
      if (!fetch) throw std::runtime_error("No HTTP transport");
      bytes = fetch(location, stop);
    } catch (const std::exception& e) {
      if (stop.stop_requested()) throw CMapLoadAbandoned();
      throw NotFound(location, e.what());
    }
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return Decode(buffer, location, stop);
  }
  QString path;
  if (scheme == "file") {
    path = QUrl(QString::fromStdString(location)).toLocalFile();
  } else if (scheme.empty()) {
    path = QString::fromStdString(location);
  } else {
    throw NotFound(location, "Unsupported URL scheme: " + scheme);
  }
  QFile file;
  OpenRegularFile(file, path, location);
  return Decode(file, location, stop);
}

QImage ImageOf(const CLoadedMapImage& loaded) {
  if (const auto* error = std::get_if<std::exception_ptr>(&loaded)) std::rethrow_exception(*error);
  return std::get<QImage>(loaded);
}

bool IsRemoteMapImage(const std::string& location) {
  const std::string scheme = SchemeOf(location);
  return scheme == "http" || scheme == "https";
}

QImage CMapImageCache::Get(const void* key, const std::function<QImage()>& load) {
  if (std::optional<CLoadedMapImage> kept = Find(key)) return ImageOf(*kept);
  CLoadedMapImage loaded;
  try {
    loaded = load();
  } catch (const CMapLoadAbandoned&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;  // a shortage may pass: the next tile tries again
  } catch (const std::exception&) {
    loaded = std::current_exception();
  }
  Put(key, loaded);
  return ImageOf(loaded);
}

std::optional<CLoadedMapImage> CMapImageCache::Find(const void* key) {
  std::lock_guard lock(m_mutex);
  const auto found = m_index.find(key);
  if (found == m_index.end()) return std::nullopt;
  if (found->second != m_entries.begin()) {
    m_entries.splice(m_entries.begin(), m_entries, found->second);
  }
  return m_entries.front().value;
}

void CMapImageCache::Put(const void* key, CLoadedMapImage loaded) {
  std::lock_guard lock(m_mutex);
  if (const auto found = m_index.find(key); found != m_index.end()) {
    m_bytes -= found->second->bytes;
    m_entries.erase(found->second);
    m_index.erase(found);
  }
  const QImage* image = std::get_if<QImage>(&loaded);
  const std::size_t bytes =
      image ? static_cast<std::size_t>(std::max<qsizetype>(image->sizeInBytes(), 0)) : 0;
  m_entries.push_front(CEntry{key, std::move(loaded), bytes});
  m_index[key] = m_entries.begin();
  m_bytes += bytes;
  Evict();
}

std::size_t CMapImageCache::GetBytes() const {
  std::lock_guard lock(m_mutex);
  return m_bytes;
}

bool CMapImageCache::Holds(const void* key) const {
  std::lock_guard lock(m_mutex);
  return m_index.count(key) != 0;
}

void CMapImageCache::Evict() {
  if (m_entries.empty()) return;
  for (auto it = std::prev(m_entries.end()); m_bytes > m_budget && it != m_entries.begin();) {
    const auto victim = it--;
    if (victim->bytes == 0) continue;  // remembered failures cost nothing
    m_bytes -= victim->bytes;
    m_index.erase(victim->key);
    m_entries.erase(victim);
  }
}
