#pragma once

// Creates a root-enumerated device node of the setup class that the INF
// declares, gives it the hardware ID, registers it, and has the INF's driver
// installed on it. The INF path may be relative to the current directory.
// Returns ResultOk, ResultReboot or ResultFailed (logged).
int InstallRootDevice(const wchar_t* hardwareId, const wchar_t* infPath);
