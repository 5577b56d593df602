#include "mapview/Worker.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <system_error>
#include <utility>
#include <vector>

namespace {

void RunReported(CWorkerJob& job) {
  try {
    job.Execute();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "QlFolvane: a background job failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "QlFolvane: a background job failed\n");
  }
}

}  // namespace

CWorker::CWorker(CWorkerHooks hooks) : m_hooks(std::move(hooks)) {
  std::lock_guard lock(m_mutex);
  m_thread = std::thread([this] { Run(); });
}

CWorker::~CWorker() { Stop(); }

void CWorker::Enqueue(CWorkerJob* job) {
  {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(job);
  }
  m_wake.notify_one();
}

bool CWorker::ClaimRunning(CWorkerJob* job) {
  CWorkerJob* expected = job;
  return m_running.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel,
                                           std::memory_order_acquire);
}

void CWorker::Cancel(CWorkerJob* job) { CancelRange(std::span<CWorkerJob* const>(&job, 1)); }

void CWorker::CancelRange(std::span<CWorkerJob* const> jobs) {
  std::lock_guard cancelling(m_cancelMutex);
  std::unique_lock lock(m_mutex);
  std::erase_if(m_queue, [&jobs](CWorkerJob* queued) {
    return std::find(jobs.begin(), jobs.end(), queued) != jobs.end();
  });
  for (CWorkerJob* job : jobs) {
    if (ClaimRunning(job)) {
      job->m_stop.request_stop();
      m_done.wait(lock, [this] { return m_claimReleased; });
      m_claimReleased = false;
      return;
    }
    // Nothing runs: no other job of the range can be running either.
    if (m_running.load(std::memory_order_acquire) == nullptr) return;
  }
}

void CWorker::Stop() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    if (CWorkerJob* running = m_running.load(std::memory_order_acquire)) {
      running->m_stop.request_stop();
    }
    if (m_thread.joinable()) threads.push_back(std::move(m_thread));
    for (std::thread& retired : m_retired) threads.push_back(std::move(retired));
    m_retired.clear();
  }
  m_wake.notify_all();
  for (std::thread& thread : threads) thread.join();
}

void CWorker::Run() {
  if (m_hooks.threadStarted) m_hooks.threadStarted();
  std::unique_lock lock(m_mutex);
  // The thread this one replaced has ended or is about to.
  std::vector<std::thread> retired = std::move(m_retired);
  m_retired.clear();
  lock.unlock();
  for (std::thread& thread : retired) thread.join();
  lock.lock();

  for (;;) {
    // Waiting with the queue as the condition: a job queued at any moment
    // before the wait is seen, so no wake-up is lost.
    m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
    if (m_stop) return;
    CWorkerJob* job = m_queue.front();
    m_queue.pop_front();
    m_running.store(job, std::memory_order_release);
    lock.unlock();

    // A canceller may have emptied the slot since: the job is then skipped.
    if (m_running.load(std::memory_order_acquire) == job) RunReported(*job);
    lock.lock();
    if (m_running.exchange(nullptr, std::memory_order_acq_rel) == nullptr) {
      // A canceller claimed the job and waits for this thread to let go of it.
      m_claimReleased = true;
      m_done.notify_all();
    }

    if (m_hooks.threadSpoiled && !m_stop) {
      lock.unlock();
      const bool spoiled = m_hooks.threadSpoiled();
      lock.lock();
      if (spoiled && !m_stop && ReplaceThread()) return;
    }
  }
}

bool CWorker::ReplaceThread() {
  std::thread next;
  try {
    next = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    // Going on here is better than stopping: later jobs may still work.
    std::fprintf(stderr, "QlFolvane: cannot start a new worker thread: %s\n", e.what());
    return false;
  }
  m_retired.push_back(std::move(m_thread));
  m_thread = std::move(next);
  return true;
}
