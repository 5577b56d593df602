#include "mapview/Tile.h"

#include <QCoreApplication>
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

QEvent::Type TileReadyEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

CThreadJob::CThreadJob(CTile& tile, QImage* target, const QRectF& place, QObject* receiver,
                       QEvent::Type eventType)
    : m_tile(tile),
      m_target(target),
      m_place(place),
      m_receiver(receiver),
      m_event(receiver ? std::make_unique<QEvent>(eventType) : nullptr) {}

void CThreadJob::Execute() {
  try {
    m_tile.Render(*m_target, m_place, m_image ? &*m_image : nullptr, GetStopToken());
  } catch (const std::exception& e) {
    // Render draws its own errors; only a failure to draw one lands here.
    std::fprintf(stderr, "QlFolvane: a tile could not be drawn: %s\n", e.what());
  }
  // The image counts against the cache's budget only while the cache keeps it.
  m_image.reset();
  m_done.store(true, std::memory_order_release);
  if (m_receiver) QCoreApplication::postEvent(m_receiver, m_event.release());
}

CThreadJob* CTileJobs::Enqueue(CTile& tile, QImage* target, const QRectF& place, QObject* receiver,
                               QEvent::Type eventType) {
  CThreadJob* job = AddWaiting(tile, target, place, receiver, eventType);
  try {
    m_worker.Enqueue(job);
  } catch (...) {
    m_jobs.erase(job);
    delete job;
    throw;
  }
  return job;
}

CThreadJob* CTileJobs::AddWaiting(CTile& tile, QImage* target, const QRectF& place,
                                  QObject* receiver, QEvent::Type eventType) {
  auto job = std::make_unique<CThreadJob>(tile, target, place, receiver, eventType);
  m_jobs.insert(job.get());
  return job.release();
}

void CTileJobs::Cancel(CThreadJob* job) {
  const auto found = m_jobs.find(job);
  if (found == m_jobs.end()) return;
  m_worker.Cancel(job);
  m_jobs.erase(found);
  delete job;
}

bool CTileJobs::IsDone(CThreadJob* job) const { return Has(job) && job->IsDone(); }

void CTileJobs::CancelAll() {
  if (m_jobs.empty()) return;
  const std::vector<CWorkerJob*> jobs(m_jobs.begin(), m_jobs.end());
  m_worker.CancelRange(jobs);
  for (CThreadJob* job : m_jobs) delete job;
  m_jobs.clear();
}
