// Loading map images, and the cache that keeps them decoded within a memory
// budget.
#pragma once

#include <QImage>
#include <cstddef>
#include <exception>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <variant>

// Fetches the bytes at an http or https URL. Throws an exception derived from
// std::exception whose text says why it failed (an HTTP status other than 200
// is a failure). Called on the map image transfer threads, several at once;
// once stop is requested it gives up within moments.
using CMapImageFetcher = std::function<std::string(const std::string& url, std::stop_token stop)>;

// A load given up because its stop was requested: not a fault of the image,
// so nothing is drawn for it and nothing remembered.
class CMapLoadAbandoned : public std::exception {
 public:
  const char* what() const noexcept override { return "Map image load abandoned"; }
};

// The most a map image may take once decoded, in megabytes. Large enough for
// maps of 16000 x 16000 pixels; a file that claims more is refused before
// anything is allocated.
inline constexpr int kMapImageAllocationLimitMb = 1024;

// A map image as its load ended: the image, or the error that kept it away.
using CLoadedMapImage = std::variant<QImage, std::exception_ptr>;

// The image of loaded; its error is thrown again.
QImage ImageOf(const CLoadedMapImage& loaded);

// True when location is an http or https URL: an image that may take long to
// come, so it is fetched apart from the tile worker.
bool IsRemoteMapImage(const std::string& location);

// Decodes the image at location: a path, a "file:" URL, or an http or https
// URL read through fetch. The result is 8-bit RGB with top-down rows.
// Throws std::runtime_error "Image File Not Found: " + location + "\n" + the
// reason when the bytes cannot be read (a local path must name a regular
// file: anything else could block the read for good), "Invalid Image File: "
// + location when they are not an image Qt can decode whole within the
// allocation limit (a JPEG that is cut short or corrupt included), and
// CMapLoadAbandoned once stop is requested.
QImage LoadMapImage(const std::string& location, const CMapImageFetcher& fetch,
                    std::stop_token stop = {});

// Decoded images by key, up to a budget of bytes; the least recently used go
// first, and come back through their loader when asked for again. The image
// most recently asked for always stays, however large. A failed load is kept
// as well, so that every tile of a broken map does not try again; it throws
// the same error each time. An abandoned load is not: the next Get loads
// again. Safe on any thread; no load runs under its lock.
class CMapImageCache {
 public:
  explicit CMapImageCache(std::size_t budgetBytes) : m_budget(budgetBytes) {}

  // The image of key, loaded with load on the calling thread when it is not
  // kept.
  QImage Get(const void* key, const std::function<QImage()>& load);
  // What is kept for key, as the most recently used; nothing when nothing is.
  std::optional<CLoadedMapImage> Find(const void* key);
  // Keeps loaded for key as the most recently used, in place of what was.
  void Put(const void* key, CLoadedMapImage loaded);
  // Bytes of the images kept.
  std::size_t GetBytes() const;
  bool Holds(const void* key) const;

 private:
  struct CEntry {
    const void* key;
    CLoadedMapImage value;
    std::size_t bytes;
  };
  void Evict();

  mutable std::mutex m_mutex;  // guards everything below
  std::size_t m_budget;
  std::size_t m_bytes = 0;
  std::list<CEntry> m_entries;  // most recently used first
  std::unordered_map<const void*, std::list<CEntry>::iterator> m_index;
};
