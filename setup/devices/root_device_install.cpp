#include "root_device_install.h"

#include <stdio.h>

#include "diagnostics/console_messages.h"
#include "diagnostics/detail_log.h"
#include "driver_update.h"
#include "record_sizes.h"
#include "setup_result.h"
#include "system_calls.h"

namespace {

// Longest hardware ID stored on the node, without its NUL.
const int kMaxStoredIdLength = 255;

// Owns the device information list that holds the new element. Destroying
// it discards an unregistered element; a registered node stays.
class DeviceInfoList {
public:
    explicit DeviceInfoList(HDEVINFO list) : m_list(list) {}
    ~DeviceInfoList()
    {
        if (m_list != INVALID_HANDLE_VALUE) {
            win::SetupDiDestroyDeviceInfoList(m_list);
        }
    }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;
    HDEVINFO Get() const { return m_list; }

private:
    HDEVINFO m_list;
};

}  // namespace

int InstallRootDevice(const wchar_t* hardwareId, const wchar_t* infPath)
{
    wchar_t fullInfPath[MAX_PATH];
    DWORD length = win::GetFullPathNameW(infPath, MAX_PATH, fullInfPath, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        LogFailure(289, L"GetFullPathName fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    // One identifier and the NUL that closes the multi-string: the zeros
    // behind the copy supply it.
    wchar_t idList[MAX_PATH] = {};
    win::lstrcpynW(idList, hardwareId, kMaxStoredIdLength + 1);

    GUID classGuid;
    wchar_t className[MAX_CLASS_NAME_LEN];
    if (!win::SetupDiGetINFClassW(fullInfPath, &classGuid, className, MAX_CLASS_NAME_LEN,
                                  nullptr)) {
        LogFailure(304, L"SetupDiGetINFClass fail,error code is 0x%x!", win::GetLastError());
        return ResultFailed;
    }

    DeviceInfoList list(win::SetupDiCreateDeviceInfoList(&classGuid, nullptr));
    if (list.Get() == INVALID_HANDLE_VALUE) {
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
                                                reinterpret_cast<const BYTE*>(idList),
                                                listBytes)) {
        LogFailure(344, L"SetupDiSetDeviceRegistryProperty fail,error code is 0x%x!",
                   win::GetLastError());
        return ResultFailed;
    }

    if (!win::SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list.Get(), &device)) {
        LogFailure(356, L"SetupDiCallClassInstaller fail,error code is 0x%x!",
                   win::GetLastError());
        return ResultFailed;
    }

    PrintMessage(stdout, 61002);
    // The whole hardware ID, not the stored copy, and the path as given.
    return UpdateDriverFromInf(hardwareId, infPath);
}
