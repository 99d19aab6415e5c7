#include "warning_box.h"

#include <windows.h>

#include "system_calls.h"
#include "system_library.h"

namespace {

typedef HWINSTA(WINAPI* GetProcessWindowStationFn)();
typedef BOOL(WINAPI* GetUserObjectInformationFn)(HANDLE, int, void*, DWORD, DWORD*);
typedef int(WINAPI* MessageBoxFn)(HWND, const wchar_t*, const wchar_t*, UINT);

// Most runs show no box, so user32 is not imported: it is loaded on first
// need and kept until the entry frees it.
struct UserInterface {
    int quiet = 0;
    int decided = 0;  // the window station has been looked at
    int visible = 0;
    int loadAttempted = 0;
    HMODULE user32 = nullptr;
};
UserInterface g_ui;

HMODULE User32()
{
    if (!g_ui.loadAttempted) {
        g_ui.loadAttempted = 1;
        g_ui.user32 = LoadSystemLibrary(L"user32.dll");
    }
    return g_ui.user32;
}

template <typename Fn>
Fn Export(const char* name)
{
    HMODULE user32 = User32();
    if (user32 == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(win::GetProcAddress(user32, name)));
}

// Whether a box on this window station can be seen by anyone. When the
// station cannot be asked, the box is shown as it always was; without the
// library no box can be shown at all.
bool StationIsVisible()
{
    if (User32() == nullptr) {
        return false;
    }
    auto getStation = Export<GetProcessWindowStationFn>("GetProcessWindowStation");
    auto getInformation = Export<GetUserObjectInformationFn>("GetUserObjectInformationW");
    if (getStation == nullptr || getInformation == nullptr) {
        return true;
    }
    HWINSTA station = getStation();
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (station == nullptr ||
        !getInformation(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) {
        return true;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void SetQuietMode()
{
    g_ui.quiet = 1;
}

bool IsNonInteractive()
{
    if (g_ui.quiet) {
        return true;
    }
    if (!g_ui.decided) {
        g_ui.decided = 1;
        g_ui.visible = StationIsVisible() ? 1 : 0;
    }
    return !g_ui.visible;
}

void ShowWarningBox(const wchar_t* text)
{
    if (IsNonInteractive()) {
        return;
    }
    auto messageBox = Export<MessageBoxFn>("MessageBoxW");
    if (messageBox != nullptr) {
        messageBox(nullptr, text, L"Warning", MB_OK | MB_ICONWARNING);
    }
}

void ReleaseUserInterface()
{
    if (g_ui.user32 != nullptr) {
        win::FreeLibrary(g_ui.user32);
        g_ui.user32 = nullptr;
    }
}

void ResetUserInterfaceForTesting()
{
    ReleaseUserInterface();
    g_ui = UserInterface();
}
