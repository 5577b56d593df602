// One background thread that runs jobs first in, first out. The map tiles
// render on it so that the user-interface thread never waits for an image to
// load or scale, except when it cancels the job that is running.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

class CWorkerJob {
 public:
  virtual ~CWorkerJob() = default;
  // Runs on the worker thread. Exceptions are the job's own business: one
  // that escapes is reported on stderr and the job counts as finished.
  virtual void Execute() = 0;

 protected:
  // Stop is requested when the job is cancelled while it runs, and when the
  // worker stops during it: whoever waits for the job then expects it to end
  // within moments, so anything that may block for long watches this. Stop
  // callbacks run with the worker's lock held and must not call the worker.
  std::stop_token GetStopToken() const noexcept { return m_stop.get_token(); }

 private:
  friend class CWorker;
  std::stop_source m_stop;
};

struct CWorkerHooks {
  // Runs first on every worker thread.
  std::function<void()> threadStarted;
  // Asked on the worker thread after each job: true when the thread's own
  // state is spoiled for later jobs. The worker then goes on on a fresh thread.
  std::function<bool()> threadSpoiled;
};

class CWorker {
 public:
  // Starts the thread.
  explicit CWorker(CWorkerHooks hooks = {});
  // Stops the thread (see Stop).
  ~CWorker();
  CWorker(const CWorker&) = delete;
  CWorker& operator=(const CWorker&) = delete;

  // Queues the job, which the caller keeps owning until it has been cancelled.
  void Enqueue(CWorkerJob* job);
  // After Cancel the job does not start; when it was running, its stop is
  // requested and Cancel returns once it has finished. A finished or unknown
  // job returns at once.
  void Cancel(CWorkerJob* job);
  // Cancel for several jobs with one pass over the queue. Waits only when one
  // of them is the running job.
  void CancelRange(std::span<CWorkerJob* const> jobs);

  // Requests the running job's stop, lets it finish and ends the thread;
  // queued jobs never run. Later calls, and jobs queued afterwards, do
  // nothing.
  void Stop();

 private:
  void Run();
  // Called on a spoiled thread with the lock held: starts its successor and
  // hands it this thread to join. False when no thread can be started.
  bool ReplaceThread();
  // Empties the slot for the canceller if it holds job; true when it did.
  bool ClaimRunning(CWorkerJob* job);
  void WaitForClaimedJob();

  CWorkerHooks m_hooks;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_done;
  std::deque<CWorkerJob*> m_queue;  // guarded by m_mutex
  bool m_stop = false;              // guarded by m_mutex
  // Set by the worker when it has let go of a job that a canceller claimed.
  bool m_claimReleased = false;  // guarded by m_mutex
  // The job the thread has taken and not yet finished. Whoever empties it
  // first decides: the worker when the job ended normally, a canceller that
  // then waits for the worker to let go of the job. The worker empties it
  // with m_mutex held, so a job found here under the lock is still alive.
  alignas(64) std::atomic<CWorkerJob*> m_running{nullptr};
  // One canceller at a time, so that a release is never taken for another's.
  std::mutex m_cancelMutex;
  std::thread m_thread;                // guarded by m_mutex
  std::vector<std::thread> m_retired;  // replaced threads not yet joined; guarded by m_mutex
};
