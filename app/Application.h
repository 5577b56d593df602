// The process entry of the program and one run of its user interface.
#pragma once

#include "app/AppCore.h"

class CSingleInstance;

// The entry point's body: one instance per session, the application core and
// the main frame, the event loop, and the teardown in reverse order. Returns
// the exit code: 0 for a second instance (which brings the first one
// forward), 1 when an error reached the entry point, else the loop's result
// (0 after a normal close).
int RunApplication(int argc, char** argv);

// One run of the user interface, inside a running application: builds the
// core from setup and the main frame, lets instance (when given) bring the
// frame forward, runs the event loop until the frame is closed and destroys
// the frame, then the core. Errors while building propagate.
int RunMainFrame(CAppCoreSetup setup, CSingleInstance* instance);

// The default way the program loads map catalogues: "maps.xml" files whose
// http and https images come through libcurl, rendered on the tile worker.
MapCatalogOpener DefaultMapCatalogOpener();
