// The tile worker: order, cancelling in every state of a job, tiles going
// away, stopping, wake-ups, and the fresh thread after a spoiled one.
#include "mapview/Worker.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/mapview/MapTestSupport.h"

namespace {

using namespace std::chrono_literals;

// Opens a gate from another thread after a while unless dismissed first;
// `late` tells whether it had to.
class CLateOpener {
 public:
  CLateOpener(CGate& gate, std::chrono::milliseconds after)
      : m_thread([this, &gate, after] {
          std::unique_lock lock(m_mutex);
          if (m_wake.wait_for(lock, after, [this] { return m_dismissed; })) return;
          late = true;
          gate.Open();
        }) {}
  ~CLateOpener() { Dismiss(); }
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
  std::thread m_thread;  // last: starts once the rest exists
};

class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() { TestGuiApplication(); }
  ~WorkerTest() override {
    gate.Open();  // a failed check must not leave the worker held at exit
    QCoreApplication::sendPostedEvents();
  }

  CProbeTile::CLog log;
  CWorker worker;
  CGate gate;
};

TEST_F(WorkerTest, RunsJobsOneAtATimeInTheOrderQueuedAndPostsOneEventEach) {
  CEventCounter receiver;
  std::vector<std::unique_ptr<CProbeTile>> tiles;
  for (int id = 0; id < 6; ++id) {
    tiles.push_back(std::make_unique<CProbeTile>(worker, log, id, id == 0 ? &gate : nullptr));
  }
  std::vector<CThreadJob*> jobs;
  for (int id : {0, 3, 1, 5, 2, 4}) jobs.push_back(tiles[id]->Enqueue(&receiver));
  ASSERT_TRUE(WaitUntil([&] { return tiles[0]->started.load(); }));
  EXPECT_FALSE(tiles[0]->IsDone(jobs[0]));
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return tiles[4]->IsDone(jobs[5]); }));

  EXPECT_EQ(log.rendered, (std::vector<int>{0, 3, 1, 5, 2, 4}));
  EXPECT_EQ(log.mostAtOnce, 1);
  EXPECT_FALSE(tiles[1]->IsDone(jobs[0]));  // not that tile's job
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(receiver.count, 6);
}

TEST_F(WorkerTest, ACancelledQueuedJobNeverRunsAndPostsNothing) {
  CProbeTile holder(worker, log, 0, &gate), queued(worker, log, 1);
  CEventCounter holderEvents, queuedEvents;
  holder.Enqueue(&holderEvents);
  ASSERT_TRUE(WaitUntil([&] { return holder.started.load(); }));
  CThreadJob* job = queued.Enqueue(&queuedEvents);
  queued.Cancel(job);
  queued.Cancel(job);  // a job that is gone is ignored
  CThreadJob* last = holder.Enqueue(&holderEvents);
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return holder.IsDone(last); }));

  EXPECT_EQ(log.rendered, (std::vector<int>{0, 0}));
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(holderEvents.count, 2);
  EXPECT_EQ(queuedEvents.count, 0);
}

TEST_F(WorkerTest, CancellingTheRunningJobWaitsForItsRenderToEnd) {
  CProbeTile tile(worker, log, 0, &gate);
  CEventCounter receiver;
  CThreadJob* running = tile.Enqueue(&receiver);
  ASSERT_TRUE(WaitUntil([&] { return tile.started.load(); }));
  CLateOpener opener(gate, 100ms);
  tile.Cancel(running);
  EXPECT_TRUE(tile.ended);
  EXPECT_TRUE(opener.late);
  EXPECT_FALSE(tile.IsDone(running));  // gone from the tile
  // The render had begun, so its event still comes.
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(receiver.count, 1);
}

TEST_F(WorkerTest, FinishedJobsAndTilesGoingAwayDoNotWaitForAnotherTilesJob) {
  auto leaving = std::make_unique<CProbeTile>(worker, log, 0);
  CProbeTile busy(worker, log, 1, &gate);
  CThreadJob* finished = leaving->Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return leaving->IsDone(finished); }));
  CThreadJob* other = leaving->Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return leaving->IsDone(other); }));
  busy.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return busy.started.load(); }));
  leaving->Enqueue();

  // Were either to wait for the running job, only the opener would free it.
  CLateOpener opener(gate, 5s);
  leaving->Cancel(finished);
  leaving.reset();
  opener.Dismiss();
  EXPECT_FALSE(opener.late);
  gate.Open();
}

TEST_F(WorkerTest, StoppingLetsOnlyTheRunningJobFinish) {
  CProbeTile running(worker, log, 0, &gate), queued(worker, log, 1);
  CThreadJob* job = running.Enqueue();
  CThreadJob* waiting = queued.Enqueue();
  ASSERT_TRUE(WaitUntil([&] { return running.started.load(); }));

  CLateOpener opener(gate, 100ms);
  worker.Stop();
  EXPECT_TRUE(opener.late);
  EXPECT_TRUE(running.IsDone(job));
  EXPECT_FALSE(queued.IsDone(waiting));
  // Afterwards nothing runs, and cancelling or stopping again does not block.
  running.Cancel(running.Enqueue());
  worker.Stop();
  EXPECT_EQ(log.rendered, (std::vector<int>{0}));
}

TEST_F(WorkerTest, NoJobIsLostWhateverTheTimingOfQueueingAndCancelling) {
  CProbeTile tile(worker, log, 0);
  // Jobs come as the thread finishes the one before and goes back to
  // waiting; a lost wake-up would leave one queued for good. Cancels race
  // with the thread taking the job; either way nothing may be running after.
  int completed = 0;
  for (int round = 0; round < 4000; ++round) {
    CThreadJob* job = tile.Enqueue();
    if (round % 3 == 0) std::this_thread::yield();
    if (round % 2 == 0) {
      ASSERT_TRUE(WaitUntil([&] { return tile.IsDone(job); })) << "round " << round;
      ++completed;
    }
    tile.Cancel(job);
    std::lock_guard lock(log.mutex);
    ASSERT_EQ(log.running, 0);
  }
  EXPECT_GE(log.rendered.size(), std::size_t(completed));
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
  CProbeTile::CLog log;
  std::vector<std::thread::id> ranOn(3);
  std::vector<std::unique_ptr<CProbeTile>> tiles;
  CThreadJob* last = nullptr;
  for (int id = 0; id < 3; ++id) {
    tiles.push_back(std::make_unique<CProbeTile>(worker, log, id));
    tiles[id]->onRender = [&ranOn, id] {
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
