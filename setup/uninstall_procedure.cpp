#include <stdio.h>

#include "devices/device_enumeration.h"
#include "devices/device_removal.h"
#include "devices/service_disable.h"
#include "diagnostics/console_output.h"
#include "diagnostics/detail_log.h"
#include "procedures.h"
#include "run_lock.h"
#include "setup_result.h"
#include "warning_box.h"

namespace {

// Decides the result from the device work alone.
int RemoveDevices(const wchar_t* hardwareId)
{
    // Both walks and the removals run while no other run touches the
    // devices; the lock is let go before the box.
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
    if (!found) {
        LogFailure(621, L"Uninstall Ok,But no device!");
        return ResultOk;
    }

    // A fresh walk: it acts on whatever matches now.
    RemoveOutcome outcome = {0, 0};
    result = EnumerateDevices(hardwareId, &outcome, &RemoveMatchingDevice);
    lock.Release();
    if (result != 0 || !outcome.removed) {
        LogFailure(614, L"Uninstall fail!");
        ShowWarningBox(L"Uninstall driver fail!");
        // A pass that removed nothing has failed too, also when the device
        // vanished in between; the caller must not take it for success.
        return result != 0 ? result : ResultFailed;
    }
    return outcome.rebootNeeded ? ResultReboot : ResultOk;
}

}  // namespace

int RunUninstall(const wchar_t* hardwareId, const wchar_t* serviceName)
{
    PrintProgressText(stdout, "Uninstall driver,please wait...");
    const int result = RemoveDevices(hardwareId);
    // The service is disabled whatever the device work came to, and its
    // outcome never changes the result.
    if (!DisableMyService(serviceName)) {
        LogFailure(629, L"DisableMyService fail!");
    }
    return result;
}
