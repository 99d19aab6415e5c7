#pragma once

#include <windows.h>

// Resolves an INF path, relative ones against the current directory, into a
// full path that fits the tool's path buffer. False with the error that tells
// why otherwise: the platform's, or ERROR_FILENAME_EXCED_RANGE for a full
// path too long for the buffer (which the platform reports as the size it
// needs, with no error set).
bool GetFullInfPath(const wchar_t* infPath, wchar_t (&fullPath)[MAX_PATH], DWORD* error);
