#pragma once

// Sets the start type of the driver service to disabled: REG_DWORD 4 in the
// value "start" of HKLM\SYSTEM\CurrentControlSet\Services\<name>. Creates
// nothing. Returns 1 when the value was written, 0 otherwise (logged).
int DisableMyService(const wchar_t* serviceName);
