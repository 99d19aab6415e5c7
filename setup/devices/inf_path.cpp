#include "inf_path.h"

#include "system_calls.h"

bool GetFullInfPath(const wchar_t* infPath, wchar_t (&fullPath)[MAX_PATH], DWORD* error)
{
    const DWORD length = win::GetFullPathNameW(infPath, MAX_PATH, fullPath, nullptr);
    if (length == 0) {
        *error = win::GetLastError();
        return false;
    }
    if (length >= MAX_PATH) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    return true;
}
