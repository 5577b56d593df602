// A tile: one piece of a map, under part of the view, rendered into an image
// of the map view's on the tile worker thread.
#pragma once

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <atomic>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>

#include "location/LocationRecord.h"
#include "mapview/MapImage.h"
#include "mapview/Worker.h"

class CTile;

// Told when a tile goes away, so that the map view drops the image it drew for
// that tile. The tile's jobs have all been cancelled by then.
class CTileListener {
 public:
  virtual ~CTileListener() = default;
  virtual void OnTileReleased(CTile* tile) = 0;
};

// The event type for the notice of a finished tile job, for the map view to
// pass to Enqueue. The event carries nothing: the receiver asks IsDone.
QEvent::Type TileReadyEventType();

// One render of a tile into a target image, queued at the worker. Made and
// owned by its tile; its address is the handle the tile's caller keeps.
class CThreadJob final : public CWorkerJob {
 public:
  CThreadJob(CTile& tile, QImage* target, const QRectF& place, QObject* receiver,
             QEvent::Type eventType);

  // Renders, marks the job done, then posts the event to the receiver.
  void Execute() override;
  // Hands the render the map image that was fetched for it, so that it does
  // not load one itself. Only before the job is queued.
  void SetImage(CLoadedMapImage image) { m_image = std::move(image); }
  // Once true, everything the render wrote into the target is visible to the
  // thread that asked.
  bool IsDone() const noexcept { return m_done.load(std::memory_order_acquire); }

 private:
  CTile& m_tile;
  QImage* m_target;
  QRectF m_place;
  QObject* m_receiver;
  // Made with the job on the thread that will receive it, and handed to Qt
  // when the job has run, so the worker allocates nothing for it.
  std::unique_ptr<QEvent> m_event;
  std::optional<CLoadedMapImage> m_image;
  std::atomic<bool> m_done{false};
};

class CTile {
 public:
  CTile() = default;
  CTile(const CTile&) = delete;
  CTile& operator=(const CTile&) = delete;
  // Cancels the tile's jobs, waiting for one that runs, before anything of
  // the tile goes.
  virtual ~CTile() = default;

  // Queues a render of this tile into target, its rectangle at place (the
  // target's pixels, fractions included). When it has finished, an event of eventType is posted to
  // receiver (when not null). Until the job is done or cancelled the target
  // must stay alive and must not be touched or copied (a QImage copy would
  // make the render's writes go to a detached buffer), and the receiver must
  // outlive the job: cancel it before the receiver goes. Events already
  // posted are dropped by Qt with the receiver.
  virtual CThreadJob* Enqueue(QImage* target, const QRectF& place, QObject* receiver,
                              QEvent::Type eventType) = 0;
  // After Cancel the job does not run and is gone; when it was running,
  // its render is asked to stop and Cancel waits for it to end (its event is
  // still posted). A job that is not this tile's is ignored.
  virtual void Cancel(CThreadJob* job) = 0;
  // Draws the tile into target with its rectangle at place, every pixel the
  // rectangle covers, from image when the job was handed one, else from an
  // image it loads; an error is drawn as text in its place. Runs on the
  // worker thread. Once stop is requested the render ends within moments;
  // what it leaves in the target then is of no use.
  virtual void Render(QImage& target, const QRectF& place, const CLoadedMapImage* image,
                      std::stop_token stop) = 0;
  // False for a job that is not this tile's.
  virtual bool IsDone(CThreadJob* job) const = 0;
  virtual const CGeoRect& GetRect() const = 0;
};

// The jobs of one tile, queued at one worker. A tile calls CancelAll first in
// its destructor, while all of it still exists for a job that runs.
class CTileJobs {
 public:
  explicit CTileJobs(CWorker& worker) : m_worker(worker) {}
  ~CTileJobs() { CancelAll(); }
  CTileJobs(const CTileJobs&) = delete;
  CTileJobs& operator=(const CTileJobs&) = delete;

  CThreadJob* Enqueue(CTile& tile, QImage* target, const QRectF& place, QObject* receiver,
                      QEvent::Type eventType);
  // A job of the tile that is not queued: whatever it waits for queues it at
  // the worker, and must have let go of it before it is cancelled.
  CThreadJob* AddWaiting(CTile& tile, QImage* target, const QRectF& place, QObject* receiver,
                         QEvent::Type eventType);
  void Cancel(CThreadJob* job);
  bool Has(CThreadJob* job) const { return m_jobs.count(job) != 0; }
  const std::set<CThreadJob*>& GetJobs() const { return m_jobs; }
  bool IsDone(CThreadJob* job) const;
  // Cancels every job with one pass at the worker, then deletes them.
  void CancelAll();

 private:
  CWorker& m_worker;
  std::set<CThreadJob*> m_jobs;
};
