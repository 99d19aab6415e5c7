#include "watched_process.h"

#include <set>

namespace {

struct WatchState {
    DWORD processId;
    std::vector<Box>* boxes;
    std::set<HWND>* answered;
    std::set<HWND>* visible;
    const std::function<void(const Box&)>* onBox;
    bool answer;
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
    // A box is read once it is shown: while it is being made, its text may
    // not be there yet.
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    if (state.answered->insert(window).second) {
        Box box{WindowText(window), WindowText(textControl)};
        state.boxes->push_back(box);
        if (*state.onBox) {
            (*state.onBox)(box);
        }
        if (state.answer) {
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
        }
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

namespace {

// One program of a watched group, from start to its exit code and output.
struct Launch {
    WatchedRun run;
    std::wstring outPath, errPath;
    HANDLE out = INVALID_HANDLE_VALUE;
    HANDLE err = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION process{};
    std::set<HWND> answered, visible;
};

void Start(Launch& launch, const std::wstring& program, const std::vector<std::wstring>& arguments,
           const WatchOptions& options, const std::vector<wchar_t>& environment)
{
    std::wstring commandLine = QuoteArgument(program);
    for (const std::wstring& argument : arguments) {
        commandLine += L" " + QuoteArgument(argument);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring desktop = options.desktop;
    if (!desktop.empty()) {
        startup.lpDesktop = &desktop[0];
    }
    if (options.captureOutput) {
        launch.out = InheritableTempFile(launch.outPath);
        launch.err = InheritableTempFile(launch.errPath);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = launch.out;
        startup.hStdError = launch.err;
    }
    // Suspended, so that a group starts its work at the same moment.
    launch.run.started =
        CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, options.captureOutput,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED,
                       environment.empty() ? nullptr : const_cast<wchar_t*>(environment.data()),
                       options.directory.empty() ? nullptr : options.directory.c_str(), &startup,
                       &launch.process) != FALSE;
}

void Finish(Launch& launch)
{
    if (launch.run.started) {
        GetExitCodeProcess(launch.process.hProcess, &launch.run.exitCode);
        launch.run.visibleWindows = static_cast<int>(launch.visible.size());
        CloseHandle(launch.process.hThread);
        CloseHandle(launch.process.hProcess);
    }
    if (launch.out != INVALID_HANDLE_VALUE) {
        launch.run.out = ReadAll(launch.out);
        launch.run.err = ReadAll(launch.err);
        CloseHandle(launch.out);
        CloseHandle(launch.err);
        DeleteFileW(launch.outPath.c_str());
        DeleteFileW(launch.errPath.c_str());
    }
}

}  // namespace

std::vector<WatchedRun> RunWatchedTogether(const std::wstring& program,
                                           const std::vector<std::vector<std::wstring>>& runs,
                                           const WatchOptions& options)
{
    std::vector<wchar_t> environment;
    if (!options.environment.empty()) {
        environment = BuildEnvironment(options.environment);
    }
    std::vector<Launch> launches(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        Start(launches[i], program, runs[i], options, environment);
    }
    for (Launch& launch : launches) {
        if (launch.run.started) {
            ResumeThread(launch.process.hThread);
        }
    }

    const DWORD start = GetTickCount();
    for (Launch& launch : launches) {
        if (!launch.run.started) {
            continue;
        }
        while (WaitForSingleObject(launch.process.hProcess, 10) == WAIT_TIMEOUT) {
            // Every program of the group has its boxes answered while this
            // one is waited for.
            for (Launch& other : launches) {
                if (other.run.started) {
                    WatchState otherState{other.process.dwProcessId, &other.run.boxes,
                                          &other.answered, &other.visible, &options.onBox,
                                          options.answerBoxes};
                    EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(&otherState));
                }
            }
            if (GetTickCount() - start >= options.timeoutMs) {
                for (Launch& other : launches) {
                    if (other.run.started &&
                        WaitForSingleObject(other.process.hProcess, 0) == WAIT_TIMEOUT) {
                        other.run.timedOut = true;
                        TerminateProcess(other.process.hProcess, 0xDEAD);
                        WaitForSingleObject(other.process.hProcess, INFINITE);
                    }
                }
                break;
            }
        }
    }
    std::vector<WatchedRun> results;
    for (Launch& launch : launches) {
        Finish(launch);
        results.push_back(launch.run);
    }
    return results;
}

WatchedRun RunWatched(const std::wstring& program, const std::vector<std::wstring>& arguments,
                      const WatchOptions& options)
{
    return RunWatchedTogether(program, {arguments}, options)[0];
}
