// The tile worker: order, cancelling in every state of a job, tiles going
// away, stopping, wake-ups, and the fresh thread after a spoiled one.
#include "mapview/Worker.h"

#include <gtest/gtest.h>

#include "mapview/Tile.h"
#include "tests/mapview/MapTestSupport.h"

namespace {

using namespace std::chrono_literals;

struct CRenderLog {
  std::mutex mutex;
  std::vector<int> rendered;  // tile ids in the order the renders began
  int running = 0;
  int mostAtOnce = 0;
};

// A tile whose renders log its id and can be held at a gate.
class CProbeTile final : public CTile {
 public:
  CProbeTile(CWorker& worker, CRenderLog& log, int id, CGate* gate = nullptr)
      : m_jobs(worker), m_log(log), m_id(id), m_gate(gate) {}
  ~CProbeTile() override { m_jobs.CancelAll(); }

  CThreadJob* Enqueue(QImage* target, const QRectF& place, QObject* receiver,
                      QEvent::Type eventType) override {
    return m_jobs.Enqueue(*this, target, place, receiver, eventType);
  }
  CThreadJob* Enqueue(QObject* receiver = nullptr) {
    return Enqueue(&m_target, QRectF(0, 0, 1, 1), receiver, TileReadyEventType());
  }
  void Cancel(CThreadJob* job) override { m_jobs.Cancel(job); }
  bool IsDone(CThreadJob* job) const override { return m_jobs.IsDone(job); }
  const CGeoRect& GetRect() const override { return m_rect; }
  void Render(QImage&, const QRectF&, const CLoadedMapImage*, std::stop_token stop) override {
    {
      std::lock_guard lock(m_log.mutex);
      m_log.rendered.push_back(m_id);
      m_log.mostAtOnce = std::max(m_log.mostAtOnce, ++m_log.running);
    }
    started = true;
    if (m_gate) m_gate->Pass();
    if (onRender) onRender(stop);
    std::lock_guard lock(m_log.mutex);
    --m_log.running;
    ended = true;
  }

  std::atomic<bool> started{false};
  std::atomic<bool> ended{false};
  std::function<void(std::stop_token)> onRender;  // on the worker thread

 private:
  CTileJobs m_jobs;
  CRenderLog& m_log;
  int m_id;
  CGate* m_gate;
  CGeoRect m_rect;
  QImage m_target{1, 1, QImage::Format_RGB32};  // never drawn into
};

class CEventCounter : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != TileReadyEventType()) return QObject::event(e);
    ++count;
    return true;
  }
  int count = 0;
};

// Runs action while another thread opens gate after `after` unless action
// has returned by then; true when the gate had to be opened for it.
bool NeededTheGate(CGate& gate, std::chrono::milliseconds after,
                   const std::function<void()>& action) {
  std::mutex mutex;
  std::condition_variable returned;
  bool done = false;
  bool opened = false;
  std::thread opener([&] {
    std::unique_lock lock(mutex);
    if (returned.wait_for(lock, after, [&] { return done; })) return;
    opened = true;
    gate.Open();
  });
  action();
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  returned.notify_all();
  opener.join();
  return opened;
}

class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() { TestGuiApplication(); }
  ~WorkerTest() override {
    gate.Open();  // a failed check must not leave the worker held at exit
    QCoreApplication::sendPostedEvents();
  }
  int Posted(CEventCounter& receiver) {
    QCoreApplication::sendPostedEvents();
    return receiver.count;
  }

  CRenderLog log;
  CWorker worker;
  CGate gate;
};

TEST_F(WorkerTest, RunsJobsOneAtATimeInOrderAndACancelledQueuedJobNeverRuns) {
  CEventCounter receiver, cancelledReceiver;
  std::vector<std::unique_ptr<CProbeTile>> tiles;
  for (int id = 0; id < 6; ++id) {
    tiles.push_back(std::make_unique<CProbeTile>(worker, log, id, id == 0 ? &gate : nullptr));
  }
  std::vector<CThreadJob*> jobs;
  for (int id : {0, 3, 1, 5, 2, 4}) jobs.push_back(tiles[id]->Enqueue(&receiver));
  ASSERT_TRUE(WaitUntil([&] { return tiles[0]->started.load(); }));
  EXPECT_FALSE(tiles[0]->IsDone(jobs[0]));
  CThreadJob* cancelled = tiles[5]->Enqueue(&cancelledReceiver);
  tiles[5]->Cancel(cancelled);
  tiles[5]->Cancel(cancelled);  // a job that is gone is ignored
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return tiles[4]->IsDone(jobs[5]); }));

  EXPECT_EQ(log.rendered, (std::vector<int>{0, 3, 1, 5, 2, 4}));
  EXPECT_EQ(log.mostAtOnce, 1);
  EXPECT_FALSE(tiles[1]->IsDone(jobs[0]));  // not that tile's job
  EXPECT_EQ(Posted(receiver), 6);
  EXPECT_EQ(cancelledReceiver.count, 0);
}

TEST_F(WorkerTest, OnlyCancellingTheRunningJobWaitsForItsRender) {
  auto leaving = std::make_unique<CProbeTile>(worker, log, 0);
  CThreadJob* finished = leaving->Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return leaving->IsDone(finished); }));
  CProbeTile busy(worker, log, 1, &gate);
  CEventCounter receiver;
  CThreadJob* running = busy.Enqueue(&receiver);
  ASSERT_TRUE(WaitUntil([&] { return busy.started.load(); }));
  leaving->Enqueue();

  // A finished job, and a tile going away with a queued job, do not wait
  // for another tile's running job: only the gate would free that one.
  EXPECT_FALSE(NeededTheGate(gate, 5s, [&] {
    leaving->Cancel(finished);
    leaving.reset();
  }));
  EXPECT_TRUE(NeededTheGate(gate, 100ms, [&] { busy.Cancel(running); }));
  EXPECT_TRUE(busy.ended);
  EXPECT_FALSE(busy.IsDone(running));  // gone from the tile
  // The render had begun, so its event still comes.
  EXPECT_EQ(Posted(receiver), 1);
}

TEST_F(WorkerTest, StoppingLetsOnlyTheRunningJobFinish) {
  CProbeTile running(worker, log, 0, &gate), queued(worker, log, 1);
  CThreadJob* job = running.Enqueue();
  CThreadJob* waiting = queued.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return running.started.load(); }));
  EXPECT_TRUE(NeededTheGate(gate, 100ms, [&] { worker.Stop(); }));
  EXPECT_TRUE(running.IsDone(job));
  EXPECT_FALSE(queued.IsDone(waiting));
  // Afterwards nothing runs, and cancelling or stopping again does not block.
  running.Cancel(running.Enqueue());
  worker.Stop();
  EXPECT_EQ(log.rendered, (std::vector<int>{0}));
}

TEST_F(WorkerTest, CancellingOrStoppingAsksTheRunningJobAndNoOtherToStop) {
  // Renders that would go on for a minute unless asked to stop.
  std::atomic<int> stopped{0};
  auto untilStopped = [&stopped](std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    never.wait_for(lock, stop, 60s, [] { return false; });
    stopped += stop.stop_requested();
  };
  CProbeTile cancelled(worker, log, 0), next(worker, log, 1), stopping(worker, log, 2);
  cancelled.onRender = next.onRender = stopping.onRender = untilStopped;
  CThreadJob* job = cancelled.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return cancelled.started.load(); }));
  // Queued behind it: cancelling the running job does not reach this one.
  CThreadJob* queued = next.Enqueue();
  const auto start = std::chrono::steady_clock::now();
  cancelled.Cancel(job);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(stopped, 1);
  ASSERT_TRUE(WaitUntil([&] { return next.started.load(); }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(stopped, 1);
  next.Cancel(queued);
  EXPECT_EQ(stopped, 2);

  stopping.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return stopping.started.load(); }));
  worker.Stop();
  EXPECT_EQ(stopped, 3);
}

TEST_F(WorkerTest, NoJobIsLostWhateverTheTimingOfQueueingAndCancelling) {
  CProbeTile tile(worker, log, 0);
  // Jobs come as the thread finishes the one before and goes back to
  // waiting; a lost wake-up would leave one queued for good. Cancels race
  // with the thread taking the job; either way nothing may be running after.
  for (int round = 0; round < 4000; ++round) {
    CThreadJob* job = tile.Enqueue();
    if (round % 3 == 0) std::this_thread::yield();
    if (round % 2 == 0) {
      ASSERT_TRUE(WaitUntil([&] { return tile.IsDone(job); })) << round;
    }
    tile.Cancel(job);
    std::lock_guard lock(log.mutex);
    ASSERT_EQ(log.running, 0);
  }
}

TEST(TileWorkerThreadTest, ASpoiledThreadHandsTheRestOfTheWorkToAFreshOne) {
  std::mutex mutex;
  std::vector<std::thread::id> started;
  thread_local bool spoiled = false;
  CWorker worker(CWorkerHooks{[&] {
                                std::lock_guard lock(mutex);
                                started.push_back(std::this_thread::get_id());
                              },
                              [] { return spoiled; }});
  CRenderLog log;
  std::vector<std::thread::id> ranOn(3);
  std::vector<std::unique_ptr<CProbeTile>> tiles;
  CThreadJob* last = nullptr;
  for (int id = 0; id < 3; ++id) {
    tiles.push_back(std::make_unique<CProbeTile>(worker, log, id));
    tiles[id]->onRender = [&ranOn, id](std::stop_token) {
      ranOn[id] = std::this_thread::get_id();
      spoiled = spoiled || id == 0;
    };
    last = tiles[id]->Enqueue();
  }
  ASSERT_TRUE(WaitUntil([&] { return tiles[2]->IsDone(last); }));
  EXPECT_NE(ranOn[1], ranOn[0]);
  EXPECT_EQ(ranOn[2], ranOn[1]);
  std::lock_guard lock(mutex);
  EXPECT_EQ(started, (std::vector<std::thread::id>{ranOn[0], ranOn[1]}));
}

}  // namespace
