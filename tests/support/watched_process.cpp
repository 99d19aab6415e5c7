#include "watched_process.h"

#include <set>

namespace {

struct WatchState {
    DWORD processId;
    std::vector<Box>* boxes;
    std::set<HWND>* answered;
    std::set<HWND>* visible;
    const std::function<void(const Box&)>* onBox;
};

std::wstring WindowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM context)
{
    WatchState& state = *reinterpret_cast<WatchState*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != state.processId) {
        return TRUE;
    }
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    HWND textControl = GetDlgItem(window, 0xFFFF);
    bool isBox = lstrcmpW(className, L"#32770") == 0 && textControl != nullptr &&
                 GetDlgItem(window, IDOK) != nullptr;
    if (!isBox) {
        if (IsWindowVisible(window)) {
            state.visible->insert(window);
        }
        return TRUE;
    }
    if (state.answered->insert(window).second) {
        Box box{WindowText(window), WindowText(textControl)};
        state.boxes->push_back(box);
        if (*state.onBox) {
            (*state.onBox)(box);
        }
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
    }
    return TRUE;
}

HANDLE InheritableTempFile(std::wstring& path)
{
    wchar_t directory[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, L"out", 0, name);
    path = name;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

std::string ReadAll(HANDLE file)
{
    std::string bytes;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
        bytes.append(chunk, got);
    }
    return bytes;
}

std::vector<wchar_t> BuildEnvironment(const std::wstring& extra)
{
    std::vector<wchar_t> block;
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* p = current; *p != L'\0'; p += lstrlenW(p) + 1) {
        block.insert(block.end(), p, p + lstrlenW(p) + 1);
    }
    FreeEnvironmentStringsW(current);
    size_t start = 0;
    while (start < extra.size()) {
        size_t end = extra.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = extra.size();
        }
        block.insert(block.end(), extra.begin() + start, extra.begin() + end);
        block.push_back(L'\0');
        start = end + 1;
    }
    block.push_back(L'\0');
    return block;
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

WatchedRun RunWatched(const std::wstring& program, const std::vector<std::wstring>& arguments,
                      const WatchOptions& options)
{
    WatchedRun run;
    std::wstring commandLine = QuoteArgument(program);
    for (const std::wstring& argument : arguments) {
        commandLine += L" " + QuoteArgument(argument);
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring outPath, errPath;
    HANDLE out = INVALID_HANDLE_VALUE, err = INVALID_HANDLE_VALUE;
    if (options.captureOutput) {
        out = InheritableTempFile(outPath);
        err = InheritableTempFile(errPath);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    std::vector<wchar_t> environment;
    if (!options.environment.empty()) {
        environment = BuildEnvironment(options.environment);
    }

    PROCESS_INFORMATION process{};
    run.started = CreateProcessW(
        program.c_str(), &commandLine[0], nullptr, nullptr, options.captureOutput,
        CREATE_UNICODE_ENVIRONMENT, environment.empty() ? nullptr : environment.data(),
        options.directory.empty() ? nullptr : options.directory.c_str(), &startup, &process);
    if (run.started) {
        std::set<HWND> answered, visible;
        WatchState state{process.dwProcessId, &run.boxes, &answered, &visible, &options.onBox};
        DWORD waited = 0;
        while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
            EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(&state));
            waited += 10;
            if (waited >= options.timeoutMs) {
                run.timedOut = true;
                TerminateProcess(process.hProcess, 0xDEAD);
                WaitForSingleObject(process.hProcess, INFINITE);
                break;
            }
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        run.visibleWindows = static_cast<int>(visible.size());
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (options.captureOutput) {
        run.out = ReadAll(out);
        run.err = ReadAll(err);
        CloseHandle(out);
        CloseHandle(err);
        DeleteFileW(outPath.c_str());
        DeleteFileW(errPath.c_str());
    }
    return run;
}
