#pragma once

#include <windows.h>

// Loads the companion library from this program's own folder, by its full
// path: never from the current folder or PATH, where anyone could have put a
// library of that name. Returns null when it is not there.
HMODULE LoadCompanionLibrary();
