#include "mapview/MapImageTransfers.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <system_error>
#include <utility>

CMapImageTransfers::CMapImageTransfers(CMapImageFetcher fetch, CMapImageCache& images,
                                       CWorker& worker)
    : m_fetch(std::move(fetch)), m_images(images), m_worker(worker) {}

CMapImageTransfers::~CMapImageTransfers() { Stop(); }

void CMapImageTransfers::Request(const void* key, const std::string& location, CThreadJob* job) {
  std::lock_guard lock(m_mutex);
  if (m_stopped) return;
  if (const auto found = m_transfers.find(key); found != m_transfers.end()) {
    found->second->waiting.push_back(job);
    return;
  }
  // Looked up under this lock: a transfer that ends meanwhile has either
  // kept its image already or still has the job to hand it to.
  if (std::optional<CLoadedMapImage> kept = m_images.Find(key)) {
    job->SetImage(std::move(*kept));
    m_worker.Enqueue(job);
    return;
  }
  auto transfer = std::make_shared<CTransfer>(CTransfer{key, location, {job}, {}});
  m_transfers.emplace(key, transfer);
  m_pending.push_back(transfer);
  // Each transfer not yet begun has an idle thread of its own, or a new one
  // while there may be more.
  if (m_pending.size() > m_idle && m_threads.size() < kMaxMapImageTransfers) {
    try {
      m_threads.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
      // The threads there are take it in turn.
      if (m_threads.empty()) {
        m_pending.pop_back();
        m_transfers.erase(key);
        throw;
      }
    }
  }
  m_wake.notify_one();
}

void CMapImageTransfers::Withdraw(std::span<CThreadJob* const> jobs) {
  std::lock_guard lock(m_mutex);
  std::vector<std::shared_ptr<CTransfer>> deserted;
  for (const auto& entry : m_transfers) {
    std::vector<CThreadJob*>& waiting = entry.second->waiting;
    std::erase_if(waiting, [&jobs](CThreadJob* job) {
      return std::find(jobs.begin(), jobs.end(), job) != jobs.end();
    });
    if (waiting.empty()) deserted.push_back(entry.second);
  }
  for (const std::shared_ptr<CTransfer>& transfer : deserted) Abandon(transfer);
}

void CMapImageTransfers::Abandon(const std::shared_ptr<CTransfer>& transfer) {
  // The fetch's stop callbacks only wake its wait; none comes back here.
  transfer->stop.request_stop();
  m_transfers.erase(transfer->key);
  std::erase(m_pending, transfer);
}

void CMapImageTransfers::Stop() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    while (!m_transfers.empty()) Abandon(std::shared_ptr<CTransfer>(m_transfers.begin()->second));
    threads = std::move(m_threads);
    m_threads.clear();
  }
  m_wake.notify_all();
  for (std::thread& thread : threads) thread.join();
}

void CMapImageTransfers::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    ++m_idle;
    m_wake.wait(lock, [this] { return m_stopped || !m_pending.empty(); });
    --m_idle;
    if (m_stopped) return;
    const std::shared_ptr<CTransfer> transfer = std::move(m_pending.front());
    m_pending.pop_front();
    lock.unlock();

    CLoadedMapImage loaded;
    bool keep = true;
    try {
      loaded = LoadMapImage(transfer->location, m_fetch, transfer->stop.get_token());
    } catch (const CMapLoadAbandoned&) {
      lock.lock();
      continue;  // nobody waits for it any more
    } catch (const std::bad_alloc&) {
      loaded = std::current_exception();
      keep = false;  // a shortage may pass: the next tile tries again
    } catch (const std::exception&) {
      loaded = std::current_exception();
    }

    lock.lock();
    const auto current = m_transfers.find(transfer->key);
    // Abandoned as it ended: what it brought is dropped with it.
    if (current == m_transfers.end() || current->second != transfer) continue;
    m_transfers.erase(current);
    try {
      if (keep) m_images.Put(transfer->key, loaded);
    } catch (const std::bad_alloc&) {
      // Not kept: the next tile fetches it again.
    }
    for (CThreadJob* job : transfer->waiting) {
      job->SetImage(loaded);
      try {
        m_worker.Enqueue(job);
      } catch (const std::exception& e) {
        // The tile stays hatched until it is drawn anew.
        std::fprintf(stderr, "QlFolvane: a tile could not be queued: %s\n", e.what());
      }
    }
  }
}
