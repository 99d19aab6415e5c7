#include "device_removal.h"

#include <cfgmgr32.h>

#include "diagnostics/detail_log.h"
#include "record_sizes.h"
#include "system_calls.h"

int RemoveMatchingDevice(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD, void* context)
{
    RemoveOutcome* outcome = static_cast<RemoveOutcome*>(context);

    SP_DEVINFO_LIST_DETAIL_DATA_W details;
    details.cbSize = sizeof(details);
    if (!win::SetupDiGetDeviceInfoListDetailW(set, &details)) {
        LogFailure(420, L"SetupDiGetDeviceInfoListDetail fail,error code is 0x%x!",
                   win::GetLastError());
        return 0;
    }

    // The instance ID is not used; a device whose ID cannot be read is not
    // removed.
    wchar_t instanceId[MAX_DEVICE_ID_LEN];
    CONFIGRET status = win::CM_Get_Device_ID_ExW(device->DevInst, instanceId, MAX_DEVICE_ID_LEN, 0,
                                                 details.RemoteMachineHandle);
    if (status != CR_SUCCESS) {
        // The configuration manager returns its status and leaves the last
        // error alone; the status is what tells why.
        LogFailure(420, L"SetupDiGetDeviceInfoListDetail fail,error code is 0x%x!", status);
        return 0;
    }

    SP_REMOVEDEVICE_PARAMS request;
    request.ClassInstallHeader.cbSize = sizeof(request.ClassInstallHeader);
    request.ClassInstallHeader.InstallFunction = DIF_REMOVE;
    request.Scope = DI_REMOVEDEVICE_GLOBAL;
    request.HwProfile = 0;
    if (!win::SetupDiSetClassInstallParamsW(set, device, &request.ClassInstallHeader,
                                            sizeof(request)) ||
        !win::SetupDiCallClassInstaller(DIF_REMOVE, set, device)) {
        LogFailure(431, L"SetupDiSetClassInstallParams fail,error code is 0x%x!",
                   win::GetLastError());
        return 0;
    }

    SP_DEVINSTALL_PARAMS_W params;
    params.cbSize = sizeof(params);
    if (win::SetupDiGetDeviceInstallParamsW(set, device, &params) &&
        (params.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) != 0) {
        outcome->rebootNeeded = 1;
    }
    outcome->removed = 1;
    return 0;
}
