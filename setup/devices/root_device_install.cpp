#include "root_device_install.h"

#include <stdio.h>

#include "diagnostics/console_messages.h"
#include "diagnostics/detail_log.h"
#include "driver_update.h"
#include "inf_path.h"
#include "record_sizes.h"
#include "setup_result.h"
#include "system_calls.h"
#include "unique_handles.h"

namespace {

// Longest hardware ID stored on the node, without its NUL.
const int kMaxStoredIdLength = 255;
}  // namespace

int InstallRootDevice(const wchar_t* hardwareId, const wchar_t* infPath)
{
    wchar_t fullInfPath[MAX_PATH];
    DWORD error = 0;
    if (!GetFullInfPath(infPath, fullInfPath, &error)) {
        LogFailure(289, L"GetFullPathName fail,error code is 0x%x!", error);
        return ResultFailed;
    }

    // One identifier and the NUL that closes the multi-string: the zeros
    // behind the copy supply it.
    wchar_t idList[MAX_PATH] = {};
    win::lstrcpynW(idList, hardwareId, kMaxStoredIdLength + 1);

    // Set before the lookup: an INF whose class is empty or too long for the
    // buffer can still be reported as a success, with nothing written.
    GUID classGuid = {};
    wchar_t className[MAX_CLASS_NAME_LEN] = {};
    if (!win::SetupDiGetINFClassW(fullInfPath, &classGuid, className, MAX_CLASS_NAME_LEN,
                                  nullptr)) {
        LogFailure(304, L"SetupDiGetINFClass fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }
    className[MAX_CLASS_NAME_LEN - 1] = L'\0';
    if (className[0] == L'\0') {
        // The node's instance ID is generated from the class name: without
        // one it would be ROOT\0000.
        LogFailure(304, L"SetupDiGetINFClass fail,error code is 0x%x!", ERROR_INVALID_CLASS);
        return ResultFailed;
    }

    // Destroying the list discards an unregistered element; a registered
    // node stays.
    UniqueDeviceInfoSet list(win::SetupDiCreateDeviceInfoList(&classGuid, nullptr));
    if (!list.IsValid()) {
        LogFailure(314, L"SetupDiCreateDeviceInfoList fail,error code is 0x%x!",
                   win::GetLastError());
        return ResultFailed;
    }

    SP_DEVINFO_DATA device;
    device.cbSize = sizeof(device);
    if (!win::SetupDiCreateDeviceInfoW(list.Get(), className, &classGuid, nullptr, nullptr,
                                       DICD_GENERATE_ID, &device)) {
        LogFailure(331, L"SetupDiCreateDeviceInfo fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    size_t stored = 0;
    while (idList[stored] != L'\0') {
        ++stored;
    }
    const DWORD listBytes = static_cast<DWORD>((stored + 2) * sizeof(wchar_t));
    if (!win::SetupDiSetDeviceRegistryPropertyW(list.Get(), &device, SPDRP_HARDWAREID,
                                                reinterpret_cast<const BYTE*>(idList), listBytes)) {
        LogFailure(344, L"SetupDiSetDeviceRegistryProperty fail,error code is 0x%x!",
                   win::GetLastError());
        return ResultFailed;
    }

    if (!win::SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list.Get(), &device)) {
        LogFailure(356, L"SetupDiCallClassInstaller fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    PrintMessage(stdout, 61002);
    // The whole hardware ID, not the stored copy, and the path as given.
    return UpdateDriverFromInf(hardwareId, infPath);
}
