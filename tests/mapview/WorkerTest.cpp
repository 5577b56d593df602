// The tile worker: order, cancelling in every state of a job, tiles going
// away, stopping, wake-ups, and the fresh thread after a spoiled one.
#include "mapview/Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "tests/mapview/MapTestSupport.h"

namespace {

using namespace std::chrono_literals;

// Opens a gate from another thread after a while, unless told to let it be
// first; `late` tells whether it had to open it.
class CLateOpener {
 public:
  CLateOpener(CGate& gate, std::chrono::milliseconds after) {
    m_thread = std::thread([this, &gate, after] {
      std::unique_lock lock(m_mutex);
      if (m_wake.wait_for(lock, after, [this] { return m_dismissed; })) return;
      late = true;
      gate.Open();
    });
  }
  ~CLateOpener() { Dismiss(); }
  // Ends the wait without opening; returns once the thread has ended.
  void Dismiss() {
    {
      std::lock_guard lock(m_mutex);
      m_dismissed = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

  std::atomic<bool> late{false};

 private:
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_dismissed = false;
  std::thread m_thread;
};

class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() { TestGuiApplication(); }
  ~WorkerTest() override { DeliverPostedEvents(); }

  CProbeTile::CLog log;
};

TEST_F(WorkerTest, RunsJobsOneAtATimeInTheOrderQueuedAndPostsOneEventEach) {
  CWorker worker;
  CGate gate;
  CEventCounter receiver;
  std::vector<std::unique_ptr<CProbeTile>> tiles;
  std::vector<CThreadJob*> jobs;
  for (int id = 0; id < 6; ++id) {
    tiles.push_back(std::make_unique<CProbeTile>(worker, log, id, id == 0 ? &gate : nullptr));
  }
  // The first job holds the thread while the others queue up behind it.
  for (int id : {0, 3, 1, 5, 2, 4}) jobs.push_back(tiles[id]->Enqueue(&receiver));
  ASSERT_TRUE(WaitUntil([&] { return tiles[0]->started.load(); }));
  EXPECT_FALSE(tiles[0]->IsDone(jobs[0]));
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return tiles[4]->IsDone(jobs[5]); }));

  EXPECT_EQ(log.rendered, (std::vector<int>{0, 3, 1, 5, 2, 4}));
  EXPECT_EQ(log.mostAtOnce, 1);
  DeliverPostedEvents();
  EXPECT_EQ(receiver.count, 6);
  // A job of another tile is not this tile's.
  EXPECT_FALSE(tiles[1]->IsDone(jobs[0]));
}

TEST_F(WorkerTest, ACancelledQueuedJobNeverRunsAndPostsNothing) {
  CWorker worker;
  CGate gate;
  CProbeTile holder(worker, log, 0, &gate);
  CProbeTile queued(worker, log, 1);
  CProbeTile after(worker, log, 2);
  CEventCounter holderEvents, queuedEvents, afterEvents;

  holder.Enqueue(&holderEvents);
  ASSERT_TRUE(WaitUntil([&] { return holder.started.load(); }));
  CThreadJob* job = queued.Enqueue(&queuedEvents);
  queued.Cancel(job);  // returns at once: the job only waited in the queue
  // Cancelling twice, or a job that is gone, is harmless.
  queued.Cancel(job);
  CThreadJob* last = after.Enqueue(&afterEvents);
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return after.IsDone(last); }));

  EXPECT_EQ(log.rendered, (std::vector<int>{0, 2}));
  EXPECT_FALSE(queued.IsDone(job));
  DeliverPostedEvents();
  EXPECT_EQ(holderEvents.count, 1);
  EXPECT_EQ(queuedEvents.count, 0);
  EXPECT_EQ(afterEvents.count, 1);
}

TEST_F(WorkerTest, CancellingTheRunningJobReturnsOnlyAfterItsRenderEnded) {
  CWorker worker;
  CGate gate;
  CProbeTile tile(worker, log, 0, &gate);
  CEventCounter receiver;
  CThreadJob* job = tile.Enqueue(&receiver);
  ASSERT_TRUE(WaitUntil([&] { return tile.started.load(); }));

  CLateOpener opener(gate, 100ms);
  tile.Cancel(job);
  EXPECT_TRUE(tile.ended);
  EXPECT_TRUE(opener.late);
  // The render had begun, so its event still comes; the job itself is gone.
  DeliverPostedEvents();
  EXPECT_EQ(receiver.count, 1);
  EXPECT_FALSE(tile.IsDone(job));
}

TEST_F(WorkerTest, CancellingAFinishedJobDoesNotWaitForTheJobRunningNow) {
  CWorker worker;
  CGate gate;
  CProbeTile finished(worker, log, 0);
  CProbeTile busy(worker, log, 1, &gate);
  CThreadJob* done = finished.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return finished.IsDone(done); }));
  busy.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return busy.started.load(); }));

  // Were Cancel to wait for the running job, only the opener would free it.
  CLateOpener opener(gate, 5s);
  finished.Cancel(done);
  opener.Dismiss();
  EXPECT_FALSE(opener.late);
  gate.Open();
}

TEST_F(WorkerTest, ATileGoingAwayWaitsOnlyForItsOwnRunningJob) {
  CWorker worker;
  CGate otherGate;
  auto leaving = std::make_unique<CProbeTile>(worker, log, 0);
  CProbeTile other(worker, log, 1, &otherGate);
  CEventCounter leavingEvents;
  CThreadJob* finished = leaving->Enqueue(&leavingEvents);
  ASSERT_TRUE(WaitUntil([&] { return leaving->IsDone(finished); }));
  other.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return other.started.load(); }));
  leaving->Enqueue(&leavingEvents);
  leaving->Enqueue(&leavingEvents);

  CLateOpener opener(otherGate, 5s);
  leaving.reset();
  opener.Dismiss();
  EXPECT_FALSE(opener.late);
  otherGate.Open();

  // Its queued jobs never ran; the other tile's job finished normally.
  CProbeTile probe(worker, log, 2);
  CThreadJob* last = probe.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return probe.IsDone(last); }));
  EXPECT_EQ(log.rendered, (std::vector<int>{0, 1, 2}));
  DeliverPostedEvents();
  EXPECT_EQ(leavingEvents.count, 1);
}

TEST_F(WorkerTest, ATileGoingAwayWhileItsJobRunsWaitsForItAndDropsTheRest) {
  CWorker worker;
  CGate gate;
  auto tile = std::make_unique<CProbeTile>(worker, log, 0, &gate);
  CProbeTile* raw = tile.get();
  std::atomic<bool> renderEnded{false};
  raw->onRender = [&renderEnded] { renderEnded = true; };
  raw->Enqueue();
  raw->Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return raw->started.load(); }));

  CLateOpener opener(gate, 100ms);
  tile.reset();
  EXPECT_TRUE(renderEnded);
  EXPECT_TRUE(opener.late);

  CProbeTile probe(worker, log, 1);
  CThreadJob* last = probe.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return probe.IsDone(last); }));
  EXPECT_EQ(log.rendered, (std::vector<int>{0, 1}));
}

TEST_F(WorkerTest, StoppingLetsOnlyTheRunningJobFinish) {
  CWorker worker;
  CGate gate;
  CProbeTile running(worker, log, 0, &gate);
  CProbeTile queued(worker, log, 1);
  CEventCounter runningEvents, queuedEvents;
  CThreadJob* job = running.Enqueue(&runningEvents);
  CThreadJob* waiting = queued.Enqueue(&queuedEvents);
  queued.Enqueue(&queuedEvents);
  ASSERT_TRUE(WaitUntil([&] { return running.started.load(); }));

  CLateOpener opener(gate, 100ms);
  worker.Stop();
  EXPECT_TRUE(opener.late);
  EXPECT_TRUE(running.IsDone(job));
  EXPECT_FALSE(queued.IsDone(waiting));
  EXPECT_EQ(log.rendered, (std::vector<int>{0}));

  // After the stop nothing runs; cancelling and a second stop do not block.
  CThreadJob* afterStop = running.Enqueue();
  running.Cancel(afterStop);
  worker.Stop();
  DeliverPostedEvents();
  EXPECT_EQ(runningEvents.count, 1);
  EXPECT_EQ(queuedEvents.count, 0);
}

TEST_F(WorkerTest, NoWakeUpIsLostWhateverTheTiming) {
  CWorker worker;
  CProbeTile tile(worker, log, 0);
  // Each job is queued as the thread finishes the one before and goes back
  // to waiting; a lost wake-up would leave a job queued for good.
  for (int round = 0; round < 3000; ++round) {
    CThreadJob* job = tile.Enqueue();
    if (round % 7 == 0) std::this_thread::yield();
    ASSERT_TRUE(WaitUntil([&] { return tile.IsDone(job); })) << "round " << round;
    tile.Cancel(job);
  }
  EXPECT_EQ(log.rendered.size(), 3000u);
}

TEST_F(WorkerTest, CancellingRacesWithTheThreadTakingTheJob) {
  CWorker worker;
  CProbeTile tile(worker, log, 0);
  // Whichever side wins, Cancel returns with the job either never started or
  // finished, and nothing hangs.
  for (int round = 0; round < 3000; ++round) {
    CThreadJob* job = tile.Enqueue();
    if (round % 3 == 0) std::this_thread::yield();
    tile.Cancel(job);
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.running, 0);
  }
}

TEST_F(WorkerTest, ASpoiledThreadHandsTheRestOfTheWorkToAFreshOne) {
  std::mutex idsMutex;
  std::vector<std::thread::id> started;
  thread_local bool spoiled = false;
  CWorker worker(CWorkerHooks{
      [&] {
        std::lock_guard lock(idsMutex);
        started.push_back(std::this_thread::get_id());
      },
      [] { return spoiled; },
  });
  std::vector<std::thread::id> ranOn(3);
  std::vector<std::unique_ptr<CProbeTile>> tiles;
  std::vector<CThreadJob*> jobs;
  for (int id = 0; id < 3; ++id) {
    tiles.push_back(std::make_unique<CProbeTile>(worker, log, id));
    tiles[id]->onRender = [&ranOn, id] {
      ranOn[id] = std::this_thread::get_id();
      if (id == 0) spoiled = true;
    };
  }
  for (int id = 0; id < 3; ++id) jobs.push_back(tiles[id]->Enqueue());
  ASSERT_TRUE(WaitUntil([&] { return tiles[2]->IsDone(jobs[2]); }));

  EXPECT_NE(ranOn[1], ranOn[0]);
  EXPECT_EQ(ranOn[2], ranOn[1]);
  std::lock_guard lock(idsMutex);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0], ranOn[0]);
  EXPECT_EQ(started[1], ranOn[1]);
}

}  // namespace
