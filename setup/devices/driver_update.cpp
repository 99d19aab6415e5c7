#include "driver_update.h"

#include <stdio.h>

#include "diagnostics/console_messages.h"
#include "diagnostics/detail_log.h"
#include "inf_path.h"
#include "setup_result.h"
#include "system_calls.h"
#include "system_library.h"
#include "unique_handles.h"
#include "warning_box.h"

#include <newdev.h>

namespace {

typedef decltype(&::UpdateDriverForPlugAndPlayDevicesW) UpdateDriverFn;
}  // namespace

int UpdateDriverFromInf(const wchar_t* hardwareId, const wchar_t* infPath)
{
    BOOL restart = FALSE;
    wchar_t fullInfPath[MAX_PATH];
    DWORD error = 0;
    if (!GetFullInfPath(infPath, fullInfPath, &error)) {
        LogFailure(188, L"GetFullPathName fail,error code is 0x%x!", error);
        return ResultFailed;
    }

    if (win::GetFileAttributesW(fullInfPath) == INVALID_FILE_ATTRIBUTES) {
        LogFailure(201, L"GetFileAttributes fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    UniqueLibrary newdev(LoadSystemLibrary(L"newdev.dll"));
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

    // Where nobody can answer, the platform must fail rather than ask (an
    // unsigned driver, a file to locate). The driver update is the one step
    // where the platform itself may ask the user something, so it is the one
    // place besides a box where the window station is looked at.
    DWORD flags = INSTALLFLAG_FORCE;
    if (IsNonInteractive()) {
        flags |= INSTALLFLAG_NONINTERACTIVE;
    }

    PrintMessage(stdout, 61102, hardwareId, fullInfPath);
    if (!updateDriver(nullptr, hardwareId, fullInfPath, flags, &restart)) {
        LogFailure(227, L"UpdateFn fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    PrintMessage(stdout, 61106);
    return restart ? ResultReboot : ResultOk;
}
