#pragma once

#include <windows.h>
#include <setupapi.h>

// Called for each present device that carries the requested hardware ID:
// the walk's set, its device record (valid during the call only), the
// device's index among all present devices, and the caller's context.
// Returns 0 to go on; any other value ends the walk and becomes its result.
typedef int (*DeviceCallback)(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD memberIndex,
                              void* context);

// The requested hardware ID as the comparison sees it; the caller owns it.
typedef const wchar_t* IdPattern;

// Walks every present device of the local machine, in all setup classes, and
// calls `callback` once for each whose hardware IDs or compatible IDs hold
// `hardwareId`. Returns ResultOk after a whole walk, ResultFailed when the
// device list cannot be obtained (logged), ResultUsage for a null ID, or the
// value with which the callback ended the walk.
int EnumerateDevices(const wchar_t* hardwareId, void* context, DeviceCallback callback);

// A DeviceCallback that stores 1 in the int that the context points to.
int MarkDeviceFound(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD memberIndex, void* context);

// 1 when the identifier equals the pattern, ignoring the case of the ASCII
// letters only; else 0.
int MatchDeviceId(IdPattern pattern, const wchar_t* deviceId);
