#pragma once

#include <windows.h>

// Appends one formatted text (wide printf conventions: %s a wide string) to
// Detail.log beside the executable. Returns 1 when the whole text was
// appended or the text was empty, else 0. Never reports anything itself.
int WriteDetailLog(const wchar_t* format, ...);

// One log entry in plain form: the location part, the text unchanged, CR LF.
void LogFailure(int location, const wchar_t* text);

// One log entry in error form. The format holds one "%x" for the code. The
// caller reads the code straight after the failing call (GetLastError, or
// the status a registry call returned), before the log's own file work can
// change the last error.
void LogFailure(int location, const wchar_t* format, DWORD code);

// Returns the log to its state at process start (file closed, no attempt
// made). Only tests call this, to run many cases in one process.
void ResetDetailLogForTesting();
