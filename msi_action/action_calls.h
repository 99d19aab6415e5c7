// Every Windows call of the custom-action library goes through one of the
// entries below, bound to the Windows function of the same name by default,
// so the code reads as plain Win32 (msica::CreateProcessW(...)) while tests
// can fail any call or stand in for the installer's side of the session.
#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#define PINWHEEL_MSI_CALLS(X)   \
    /* errors */                \
    X(GetLastError)             \
    /* the tool's process */    \
    X(CreateProcessW)           \
    X(WaitForSingleObject)      \
    X(GetExitCodeProcess)       \
    X(CloseHandle)              \
    /* the restart marker */    \
    X(CreateFileW)              \
    X(GetFileAttributesW)       \
    X(DeleteFileW)              \
    X(MoveFileExW)              \
    X(RemoveDirectoryW)         \
    /* the installer session */ \
    X(MsiGetPropertyW)          \
    X(MsiCreateRecord)          \
    X(MsiRecordSetStringW)      \
    X(MsiProcessMessage)        \
    X(MsiCloseHandle)           \
    X(MsiSetMode)

namespace msica {

#define PINWHEEL_DECLARE_ENTRY(name) extern decltype(&::name) name;
PINWHEEL_MSI_CALLS(PINWHEEL_DECLARE_ENTRY)
#undef PINWHEEL_DECLARE_ENTRY

}  // namespace msica
