#include "companion_library.h"

namespace {

const wchar_t kLibraryName[] = L"Larkspur.dll";
// Room for any path the platform can report, so that a deep program folder
// still finds its library. On the stack: a static buffer would take its
// whole size in the file.
const DWORD kPathUnits = 32768;

}  // namespace

HMODULE LoadCompanionLibrary()
{
    wchar_t path[kPathUnits];
    // The wide form, so that a folder named outside the ANSI code page works
    // as it does for the loader's own search.
    const DWORD length = GetModuleFileNameW(nullptr, path, kPathUnits);
    if (length == 0 || length >= kPathUnits) {
        return nullptr;
    }
    DWORD folder = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (path[i] == L'\\') {
            folder = i + 1;
        }
    }
    const DWORD nameUnits = sizeof(kLibraryName) / sizeof(kLibraryName[0]);  // with NUL
    if (folder == 0 || folder + nameUnits > kPathUnits) {
        return nullptr;
    }
    for (DWORD i = 0; i < nameUnits; ++i) {
        path[folder + i] = kLibraryName[i];
    }
    // The altered search resolves the library's own imports from its folder
    // first, as a bare-name load from there would have.
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
