#include "mapview/MapImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <stdexcept>

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

QImage Decode(QIODevice& device, const std::string& location) {
  // Qt's limit is process-wide; the default would refuse large maps.
  static std::once_flag limitSet;
  std::call_once(limitSet, [] { QImageReader::setAllocationLimit(kMapImageAllocationLimitMb); });

  QImageReader reader(&device);
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    throw std::runtime_error("Invalid Image File: " + location);
  }
  if (image.format() != QImage::Format_RGB888) {
    image = image.convertToFormat(QImage::Format_RGB888);
    if (image.isNull()) throw std::runtime_error("Invalid Image File: " + location);
  }
  return WithSpareRow(image);
}

}  // namespace

QImage LoadMapImage(const std::string& location, const CMapImageFetcher& fetch) {
  const std::string scheme = SchemeOf(location);
  if (scheme == "http" || scheme == "https") {
    std::string bytes;
    try {
      if (!fetch) throw std::runtime_error("No HTTP transport");
      bytes = fetch(location);
    } catch (const std::exception& e) {
      throw NotFound(location, e.what());
    }
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return Decode(buffer, location);
  }
  QString path;
  if (scheme == "file") {
    path = QUrl(QString::fromStdString(location)).toLocalFile();
  } else if (scheme.empty()) {
    path = QString::fromStdString(location);
  } else {
    throw NotFound(location, "Unsupported URL scheme: " + scheme);
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw NotFound(location, file.errorString().toStdString());
  return Decode(file, location);
}

QImage CMapImageCache::Get(const void* key, const std::function<QImage()>& load) {
  auto found = m_index.find(key);
  if (found == m_index.end()) {
    CEntry entry{key, std::exception_ptr(), 0};
    try {
      QImage image = load();
      entry.bytes = static_cast<std::size_t>(std::max<qsizetype>(image.sizeInBytes(), 0));
      entry.value = std::move(image);
    } catch (const std::bad_alloc&) {
      throw;  // a shortage may pass: the next tile tries again
    } catch (const std::exception&) {
      entry.value = std::current_exception();
    }
    m_entries.push_front(std::move(entry));
    m_index[key] = m_entries.begin();
    m_bytes += m_entries.front().bytes;
    Evict();
  } else if (found->second != m_entries.begin()) {
    m_entries.splice(m_entries.begin(), m_entries, found->second);
  }
  const CEntry& entry = m_entries.front();
  if (const auto* error = std::get_if<std::exception_ptr>(&entry.value)) {
    std::rethrow_exception(*error);
  }
  return std::get<QImage>(entry.value);
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
