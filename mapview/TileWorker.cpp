#include "mapview/TileWorker.h"

#include "qim.h"

CWorkerHooks TileWorkerHooks() {
  return CWorkerHooks{
      [] { qimSetErrMode(QIM_ERRMODE_RETURN); },
      [] { return qimGetErrStatus() != QIM_STATUS_OK; },
  };
}

CWorker& GetTileWorker() {
  static CWorker worker(TileWorkerHooks());
  return worker;
}

void StopTileWorker() { GetTileWorker().Stop(); }
