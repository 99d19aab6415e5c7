/* Stands in for Pinwheel.exe in the installer tests: appends its command line
 * (UTF-16LE, one line per run) to pinwheel-stand-in-calls.txt in the Windows
 * temporary folder, then exits with STAND_IN_EXIT_CODE, so that a test can
 * see how an installer called the tool and what it made of each result. */
#include <windows.h>

int wmain(void)
{
    wchar_t path[MAX_PATH + 64];
    UINT length = GetWindowsDirectoryW(path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        lstrcatW(path, L"\\Temp\\pinwheel-stand-in-calls.txt");
        HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            const wchar_t* commandLine = GetCommandLineW();
            DWORD written = 0;
            WriteFile(file, commandLine, (DWORD)(lstrlenW(commandLine) * sizeof(wchar_t)), &written,
                      NULL);
            WriteFile(file, L"\r\n", 2 * sizeof(wchar_t), &written, NULL);
            CloseHandle(file);
        }
    }
    return STAND_IN_EXIT_CODE;
}
