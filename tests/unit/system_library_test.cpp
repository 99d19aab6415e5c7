// System libraries come from the system folder only: by the search flag, or
// where Windows 7 without its DLL-search update refuses that flag, by their
// full path there. Never by a bare name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system_calls.h"
#include "system_call_override.h"
#include "system_library.h"

namespace {

struct Load {
    std::wstring name;
    DWORD flags;
};
std::vector<Load> g_loads;
DWORD g_refusal;

HMODULE WINAPI RefuseTheFlag(LPCWSTR name, HANDLE, DWORD flags)
{
    g_loads.push_back({name, flags});
    if (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) {
        SetLastError(g_refusal);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(0x7E5A000);
}

TEST(SystemLibraryTest, RefusedSearchFlagFallsBackToTheFullSystemPath)
{
    g_loads.clear();
    g_refusal = ERROR_INVALID_PARAMETER;
    Override<win::LoadLibraryExW> load(&RefuseTheFlag);
    Override<win::GetSystemDirectoryW> folder([](LPWSTR buffer, UINT) -> UINT {
        lstrcpyW(buffer, L"C:\\Windows\\system32");
        return 19;
    });
    EXPECT_EQ(reinterpret_cast<HMODULE>(0x7E5A000), LoadSystemLibrary(L"newdev.dll"));
    ASSERT_EQ(2u, g_loads.size());
    EXPECT_EQ(L"newdev.dll", g_loads[0].name);
    EXPECT_EQ(static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32), g_loads[0].flags);
    EXPECT_EQ(L"C:\\Windows\\system32\\newdev.dll", g_loads[1].name);
    EXPECT_EQ(static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH), g_loads[1].flags);
}

// Only the refused flag falls back: a library that is not there is not
// looked for anywhere else.
TEST(SystemLibraryTest, OtherFailuresAreFinal)
{
    g_loads.clear();
    g_refusal = ERROR_MOD_NOT_FOUND;
    Override<win::LoadLibraryExW> load(&RefuseTheFlag);
    EXPECT_EQ(nullptr, LoadSystemLibrary(L"newdev.dll"));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
    EXPECT_EQ(1u, g_loads.size());
}

TEST(SystemLibraryTest, NoSystemFolderOrNoRoomForTheNameLoadsNothing)
{
    for (UINT folderLength : {0u, static_cast<UINT>(MAX_PATH - 5)}) {
        g_loads.clear();
        g_refusal = ERROR_INVALID_PARAMETER;
        static UINT s_length;
        s_length = folderLength;
        Override<win::LoadLibraryExW> load(&RefuseTheFlag);
        Override<win::GetSystemDirectoryW> folder([](LPWSTR buffer, UINT) -> UINT {
            for (UINT i = 0; i < s_length; ++i) {
                buffer[i] = L'd';
            }
            buffer[s_length] = L'\0';
            if (s_length == 0) {
                SetLastError(ERROR_ACCESS_DENIED);
            }
            return s_length;
        });
        EXPECT_EQ(nullptr, LoadSystemLibrary(L"newdev.dll"));
        EXPECT_EQ(1u, g_loads.size());
        EXPECT_EQ(folderLength == 0 ? ERROR_ACCESS_DENIED : ERROR_FILENAME_EXCED_RANGE,
                  GetLastError());
    }
}

}  // namespace
