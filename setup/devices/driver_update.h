#pragma once

// Has the platform's driver-update service install the INF's driver on the
// devices with the hardware ID. Returns ResultOk, ResultReboot (a restart is
// needed) or ResultFailed (logged).
int UpdateDriverFromInf(const wchar_t* hardwareId, const wchar_t* infPath);
