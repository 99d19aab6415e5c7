#pragma once

#include <windows.h>
#include <setupapi.h>

// What the removal walk found out, OR-ed over all matching devices.
struct RemoveOutcome {
    int removed;       // 1 once a device was removed
    int rebootNeeded;  // 1 once a removed device asked for a restart
};

// A DeviceCallback that removes the device globally (from every hardware
// profile) and records the result in the RemoveOutcome that the context
// points to. A failure is logged and leaves the outcome alone. Always
// returns 0, so every matching device gets its own attempt.
int RemoveMatchingDevice(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD memberIndex, void* context);
