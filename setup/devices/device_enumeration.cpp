#include "device_enumeration.h"

#include "device_property.h"
#include "diagnostics/detail_log.h"
#include "record_sizes.h"
#include "setup_result.h"
#include "system_calls.h"
#include "unique_handles.h"

namespace {

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// True when a list holds an entry equal to the pattern.
bool ListMatches(IdPattern pattern, MultiSzList list)
{
    if (list == nullptr) {
        return false;
    }
    for (wchar_t** entry = list; *entry != nullptr; ++entry) {
        if (MatchDeviceId(pattern, *entry)) {
            return true;
        }
    }
    return false;
}

// The device list cannot be had: the failing step's entry, then the walk's.
int FailWalk(int location, const wchar_t* format, DWORD error)
{
    LogFailure(location, format, error);
    LogFailure(142, L"EnumerateDevices fail,error code is 0x%x!", error);
    return ResultFailed;
}

}  // namespace

int MatchDeviceId(IdPattern pattern, const wchar_t* deviceId)
{
    size_t i = 0;
    for (; pattern[i] != L'\0' && deviceId[i] != L'\0'; ++i) {
        if (FoldAscii(pattern[i]) != FoldAscii(deviceId[i])) {
            return 0;
        }
    }
    return pattern[i] == deviceId[i] ? 1 : 0;
}

int MarkDeviceFound(HDEVINFO, SP_DEVINFO_DATA*, DWORD, void* context)
{
    if (context != nullptr) {
        *static_cast<int*>(context) = 1;
    }
    return 0;
}

int EnumerateDevices(const wchar_t* hardwareId, void* context, DeviceCallback callback)
{
    if (hardwareId == nullptr) {
        return ResultUsage;
    }
    const IdPattern pattern = hardwareId;

    UniqueDeviceInfoSet set(win::SetupDiGetClassDevsExW(
        nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES, nullptr, nullptr, nullptr));
    if (!set.IsValid()) {
        return FailWalk(88, L"SetupDiGetClassDevsEx fail,error code is 0x%x!",
                        win::GetLastError());
    }

    SP_DEVINFO_LIST_DETAIL_DATA_W details;
    details.cbSize = sizeof(details);
    if (!win::SetupDiGetDeviceInfoListDetailW(set.Get(), &details)) {
        return FailWalk(97, L"SetupDiGetDeviceInfoListDetail fail,error code is 0x%x!",
                        win::GetLastError());
    }

    SP_DEVINFO_DATA device;
    device.cbSize = sizeof(device);
    // Any refusal ends the walk like the end of the list does.
    for (DWORD index = 0; win::SetupDiEnumDeviceInfo(set.Get(), index, &device); ++index) {
        MultiSzList hardwareIds = GetMultiSzDeviceProperty(set.Get(), &device, SPDRP_HARDWAREID);
        MultiSzList compatibleIds =
            GetMultiSzDeviceProperty(set.Get(), &device, SPDRP_COMPATIBLEIDS);
        const bool matched =
            ListMatches(pattern, hardwareIds) || ListMatches(pattern, compatibleIds);
        FreeMultiSzList(hardwareIds);
        FreeMultiSzList(compatibleIds);
        if (matched) {
            const int result = callback(set.Get(), &device, index, context);
            if (result != 0) {
                return result;
            }
        }
    }
    return ResultOk;
}
