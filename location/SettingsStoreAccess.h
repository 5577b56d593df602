// Reading and updating the settings store file. Readers take whatever complete
// file is in place; writers serialise on a lock file beside the store, re-read
// it, apply their change and replace the file atomically, so concurrent key
// objects and processes lose nothing of each other's writes.
#pragma once

#include <functional>
#include <string>

#include "location/SettingsTree.h"

// The store at `path`; an empty store when the file is missing, unreadable or
// not a store file. Throws only std::bad_alloc.
SettingsKeyNode LoadSettingsStore(const std::string& path);

// Runs `change` on the store's current contents while holding the store's lock
// and, when it returns true, replaces the file with the result: a temporary
// file in the same folder (mode 0600) is written and synced, renamed over the
// store and the folder is synced. Missing folders are created with mode 0700.
// A file that is not a store file counts as empty and is renamed aside (to
// "<path>.corrupt", "<path>.corrupt-2", ...) just before the new file replaces
// it. Failures throw CWin32Exception with errno and leave the store as it was
// (a FIFO, device or folder at the path is never read or replaced: EINVAL, or
// EISDIR for a folder, with "Not a regular file: " + path); exceptions from
// `change` pass through and change nothing.
void UpdateSettingsStore(const std::string& path, const std::function<bool(SettingsKeyNode&)>& change);
