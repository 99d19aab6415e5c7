// Every Windows call of the setup tool goes through one of the entries below.
// Each entry is a function pointer named after the Windows function it stands
// for and bound to that function by default, so product code reads as plain
// Win32 (win::CreateFileW(...)) while tests can fail any call with a chosen
// last error or put simulated device services in its place.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <sddl.h>

#define PINWHEEL_SYSTEM_CALLS(X)         \
    /* errors */                         \
    X(GetLastError)                      \
    X(SetLastError)                      \
    /* files */                          \
    X(CreateFileW)                       \
    X(CloseHandle)                       \
    X(ReadFile)                          \
    X(WriteFile)                         \
    X(SetFilePointerEx)                  \
    X(GetFileSizeEx)                     \
    X(SetEndOfFile)                      \
    X(GetFileAttributesW)                \
    X(SetFileAttributesW)                \
    X(DeviceIoControl)                   \
    X(DeleteFileW)                       \
    X(GetModuleFileNameW)                \
    X(GetFileInformationByHandle)        \
    X(GetFinalPathNameByHandleW)         \
    X(LockFileEx)                        \
    X(UnlockFileEx)                      \
    /* one run at a time */              \
    X(CreateMutexW)                      \
    X(WaitForSingleObject)               \
    X(ReleaseMutex)                      \
    X(ConvertStringSecurityDescriptorToSecurityDescriptorW) \
    /* paths, strings, libraries */      \
    X(GetFullPathNameW)                  \
    X(lstrcpynW)                         \
    X(CompareStringOrdinal)              \
    X(GetSystemDirectoryW)               \
    X(LoadLibraryExW)                    \
    X(GetProcAddress)                    \
    X(FreeLibrary)                       \
    /* console and messages */           \
    X(FormatMessageW)                    \
    X(LocalFree)                         \
    X(GetStdHandle)                      \
    X(GetConsoleMode)                    \
    X(GetConsoleOutputCP)                \
    X(WriteConsoleW)                     \
    X(WideCharToMultiByte)               \
    /* registry */                       \
    X(RegOpenKeyExW)                     \
    X(RegSetValueExW)                    \
    X(RegCloseKey)                       \
    /* device installation */            \
    X(SetupDiGetClassDevsExW)            \
    X(SetupDiGetDeviceInfoListDetailW)   \
    X(SetupDiEnumDeviceInfo)             \
    X(SetupDiGetDeviceRegistryPropertyW) \
    X(SetupDiSetDeviceRegistryPropertyW) \
    X(SetupDiDestroyDeviceInfoList)      \
    X(SetupDiGetINFClassW)               \
    X(SetupDiCreateDeviceInfoList)       \
    X(SetupDiCreateDeviceInfoW)          \
    X(SetupDiCallClassInstaller)         \
    X(SetupDiSetClassInstallParamsW)     \
    X(SetupDiGetDeviceInstallParamsW)    \
    X(CM_Get_Device_ID_ExW)

namespace win {

#define PINWHEEL_DECLARE_ENTRY(name) extern decltype(&::name) name;
PINWHEEL_SYSTEM_CALLS(PINWHEEL_DECLARE_ENTRY)
#undef PINWHEEL_DECLARE_ENTRY

// The table of all entries, so that tests can find one by name and put every
// entry back to its Windows function.
struct SystemCall {
    const char* name;
    void** entry;
    void* original;
};
extern const SystemCall kSystemCalls[];
extern const unsigned kSystemCallCount;

void RestoreAllSystemCalls();

}  // namespace win
