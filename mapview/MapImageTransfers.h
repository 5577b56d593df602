// Map images that come over the network, fetched and decoded on threads of
// their own, several at once: a slow one holds back only the tiles of its own
// map. The tile worker gets a tile's job once its image is here.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "mapview/MapImage.h"
#include "mapview/Tile.h"
#include "mapview/Worker.h"

// Transfers running at once; more wait for one of them to end.
inline constexpr std::size_t kMaxMapImageTransfers = 8;

class CMapImageTransfers {
 public:
  // Decoded images and failures go into images, under the key they were
  // asked for; jobs whose image has come are queued at worker.
  CMapImageTransfers(CMapImageFetcher fetch, CMapImageCache& images, CWorker& worker);
  // Stop.
  ~CMapImageTransfers();
  CMapImageTransfers(const CMapImageTransfers&) = delete;
  CMapImageTransfers& operator=(const CMapImageTransfers&) = delete;

  // Hands job the image kept under key and queues it at once; when none is
  // kept, the job waits for the image at location, which one transfer fetches
  // for all the jobs that wait for it. Throws std::system_error when no thread
  // can be started for it, and then does not keep the job.
  void Request(const void* key, const std::string& location, CThreadJob* job);
  // Once this returns, no transfer queues the jobs. A transfer that no job
  // waits for any more is abandoned at once, and nothing of it is kept.
  void Withdraw(std::span<CThreadJob* const> jobs);
  // Abandons every transfer and waits for the threads to end; the jobs still
  // waiting are never queued. Later requests do nothing.
  void Stop();

 private:
  struct CTransfer {
    const void* key;
    std::string location;
    std::vector<CThreadJob*> waiting;
    std::stop_source stop;
  };
  void Run();
  // With the lock held.
  void Abandon(const std::shared_ptr<CTransfer>& transfer);

  CMapImageFetcher m_fetch;
  CMapImageCache& m_images;
  CWorker& m_worker;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  // Every transfer jobs wait for, by key; guarded by m_mutex, as is all below.
  std::unordered_map<const void*, std::shared_ptr<CTransfer>> m_transfers;
  std::deque<std::shared_ptr<CTransfer>> m_pending;  // not yet begun
  std::vector<std::thread> m_threads;
  std::size_t m_idle = 0;
  bool m_stopped = false;
};
