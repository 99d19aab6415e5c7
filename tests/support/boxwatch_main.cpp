// boxwatch PROGRAM [ARGS...]: runs a program with this console, answers each
// of its message boxes with OK, prints every box's caption and text, and
// exits with the program's exit code. Lets a person watch a headless run.
#include <stdio.h>

#include "watched_process.h"

int wmain(int argc, wchar_t* argv[])
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: boxwatch PROGRAM [ARGS...]\n");
        return 120;
    }
    std::vector<std::wstring> arguments(argv + 2, argv + argc);
    WatchOptions options;
    options.captureOutput = false;
    options.onBox = [](const Box& box) {
        fflush(stdout);
        wprintf(L"\n[message box] %ls: %ls  -> OK\n", box.caption.c_str(), box.text.c_str());
        fflush(stdout);
    };
    WatchedRun run = RunWatched(argv[1], arguments, options);
    if (!run.started) {
        fwprintf(stderr, L"boxwatch: cannot start %ls (error %lu)\n", argv[1], GetLastError());
        return 121;
    }
    return static_cast<int>(run.exitCode);
}
