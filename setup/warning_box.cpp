#include "warning_box.h"

#include "system_calls.h"

void ShowWarningBox(const wchar_t* text)
{
    win::MessageBoxW(nullptr, text, L"Warning", MB_OK | MB_ICONWARNING);
}
