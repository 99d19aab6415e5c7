#include "driver_update.h"

#include <stdio.h>

#include "diagnostics/console_messages.h"
#include "diagnostics/detail_log.h"
#include "setup_result.h"
#include "system_calls.h"
#include "unique_handles.h"

#include <newdev.h>

namespace {

typedef decltype(&::UpdateDriverForPlugAndPlayDevicesW) UpdateDriverFn;
}  // namespace

int UpdateDriverFromInf(const wchar_t* hardwareId, const wchar_t* infPath)
{
    BOOL restart = FALSE;
    wchar_t fullInfPath[MAX_PATH];
    DWORD length = win::GetFullPathNameW(infPath, MAX_PATH, fullInfPath, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        LogFailure(188, L"GetFullPathName fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    if (win::GetFileAttributesW(fullInfPath) == INVALID_FILE_ATTRIBUTES) {
        LogFailure(201, L"GetFileAttributes fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    // The tool runs elevated, often from a download or temporary folder where
    // anyone can drop a DLL: newdev comes from the system folder only.
    UniqueLibrary newdev(win::LoadLibraryExW(L"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!newdev.IsValid()) {
        LogFailure(213, L"LoadLibrary fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    UpdateDriverFn updateDriver = reinterpret_cast<UpdateDriverFn>(reinterpret_cast<void (*)()>(
        win::GetProcAddress(newdev.Get(), "UpdateDriverForPlugAndPlayDevicesW")));
    if (updateDriver == nullptr) {
        LogFailure(219, L"GetProcAddress fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    PrintMessage(stdout, 61102, hardwareId, fullInfPath);
    if (!updateDriver(nullptr, hardwareId, fullInfPath, INSTALLFLAG_FORCE, &restart)) {
        LogFailure(227, L"UpdateFn fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    PrintMessage(stdout, 61106);
    return restart ? ResultReboot : ResultOk;
}
