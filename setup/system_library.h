#pragma once

#include <windows.h>

// Loads a library of the system folder by its full path there, never by a
// bare name that the standard search could find beside the tool or in the
// current folder. Returns the module or null with the last error set.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
