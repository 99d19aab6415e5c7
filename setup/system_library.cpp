#include "system_library.h"

#include "system_calls.h"

HMODULE LoadSystemLibrary(const wchar_t* fileName)
{
    // The tool runs elevated, often from a download or temporary folder
    // where anyone can drop a DLL.
    HMODULE module = win::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || win::GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }

    // Windows 7 without its DLL-search update refuses the flag: name the
    // file in the system folder instead.
    wchar_t path[MAX_PATH];
    const UINT folder = win::GetSystemDirectoryW(path, MAX_PATH);
    if (folder == 0) {
        return nullptr;
    }
    size_t name = 0;
    while (fileName[name] != L'\0') {
        ++name;
    }
    // The folder, a backslash, the name and its NUL.
    if (folder >= MAX_PATH || folder + 1 + name + 1 > MAX_PATH) {
        win::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[folder] = L'\\';
    for (size_t i = 0; i <= name; ++i) {
        path[folder + 1 + i] = fileName[i];
    }
    // The altered search lets the library's own imports resolve from the
    // system folder too.
    return win::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
