#pragma once

#include <windows.h>

#include "unique_handles.h"

// The machine-wide lock that keeps the device work of concurrent runs apart:
// without it, two installs of one hardware ID both find no device and both
// create a node. Held from the presence check to the end of the driver
// update, or across both walks of an uninstall, and never while a box waits.
class CRunLock {
public:
    CRunLock();
    ~CRunLock();
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    // Waits for the lock, at most kWaitMilliseconds; a lock whose holder died
    // is taken over. ResultOk when held, else ResultFailed (logged).
    int Acquire();
    // Lets the next run go on; the destructor does it too.
    void Release();

    static const wchar_t kName[];
    static const DWORD kWaitMilliseconds;

private:
    UniqueKernelObject m_mutex;
    bool m_held;
};
