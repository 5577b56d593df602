// The program's one tile worker.
#pragma once

#include "mapview/Worker.h"

// Started on first use. Its thread runs the image library in the mode that
// returns failures as statuses; since the library keeps a failure's status
// on the thread for good, a job that leaves one makes the worker go on on a
// fresh thread, so that one failed tile does not spoil the ones after it.
CWorker& GetTileWorker();

// What the tile worker does on each of its threads; for workers of tests.
CWorkerHooks TileWorkerHooks();

// Lets the running job finish and ends the worker's thread; queued jobs never
// run. The program calls it before its Qt application object goes, so that
// no job posts to a torn-down application.
void StopTileWorker();
