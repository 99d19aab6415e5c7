#include <stdio.h>

#include "devices/device_enumeration.h"
#include "devices/root_device_install.h"
#include "diagnostics/console_output.h"
#include "diagnostics/detail_log.h"
#include "procedures.h"
#include "run_lock.h"
#include "setup_result.h"
#include "warning_box.h"

int RunInstall(const wchar_t* hardwareId, const wchar_t* infPath)
{
    PrintProgressText(stdout, "Install driver,please wait...");

    // From the presence check to the end of the driver update no other run
    // may touch the devices, or two installs both find none and both create
    // a node. The lock is let go before any box.
    CRunLock lock;
    int result = lock.Acquire();
    if (result != ResultOk) {
        return result;
    }

    int found = 0;
    result = EnumerateDevices(hardwareId, &found, &MarkDeviceFound);
    if (result != 0) {
        // The walk has logged why.
        return result;
    }
    if (found) {
        lock.Release();
        LogFailure(569, L"Install,But find device!");
        ShowWarningBox(L"Please uninstall the previous version and run setup again!");
        return ResultOk;
    }

    result = InstallRootDevice(hardwareId, infPath);
    lock.Release();
    if (result == ResultOk) {
        return ResultOk;
    }
    if (result == ResultReboot) {
        LogFailure(585, L"Install Ok,But need reboot!");
        ShowWarningBox(
            L"Install driver success,but before running the main program you need "
            L"to restart your computer!");
        return ResultReboot;
    }
    LogFailure(578, L"Install driver unsuccessful!");
    ShowWarningBox(
        L"Install driver unsuccessful!Please uninstall this software and reboot "
        L"computer,and run setup again!");
    return result;
}
