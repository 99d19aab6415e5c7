// Whole-process wall time of `Pinwheel.exe uninstall <ID> <service>` beside
// programs that make the same calls and nothing else, timed from a Windows
// parent: CreateProcessW to the end of WaitForSingleObject on the process,
// by QueryPerformanceCounter. Timing from inside Wine leaves out the cost of
// starting Wine's loader from a shell, which is the same for every program
// and several times larger than what is being compared.
//
// Usage: process_bench RUNS HARDWARE_ID SERVICE PROGRAM... (the first
// program is the one compared with the others). Each program runs in its own
// folder, where it writes its own Detail.log; the programs run in turn, the
// order rotating every round, so that drift on a shared machine falls on all
// of them alike. Every run must exit 0 and leave entry 621 in its log.
#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const int kWarmUpRounds = 3;

struct Program {
    std::wstring path;
    std::wstring folder;
    std::wstring name;
    std::vector<double> ms;
};

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// Starts that Wine refused (it sometimes does on a loaded machine, before
// the program runs at all); such a run is started again.
int g_refusedStarts = 0;
const int kMaxRefusedStarts = 20;

// One run; the milliseconds it took, or a negative value when it failed.
double RunOnce(const Program& program, const std::wstring& arguments, HANDLE nul)
{
    std::wstring commandLine = Quoted(program.path) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER start, end;
    for (;;) {
        QueryPerformanceCounter(&start);
        if (CreateProcessW(program.path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                           nullptr, program.folder.c_str(), &startup, &process)) {
            break;
        }
        const DWORD error = GetLastError();
        if (++g_refusedStarts > kMaxRefusedStarts) {
            fwprintf(stderr, L"%ls: cannot start, error %lu\n", program.name.c_str(), error);
            return -1;
        }
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0) {
        fwprintf(stderr, L"%ls: exit code %lu\n", program.name.c_str(), code);
        return -1;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1e3 / frequency.QuadPart;
}

std::wstring LogPath(const Program& program)
{
    return program.folder + L"\\Detail.log";
}

// How many times the log beside a program holds the no-device entry.
int CountNoDeviceEntries(const Program& program)
{
    HANDLE file = CreateFileW(LogPath(program).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    std::wstring text;
    wchar_t chunk[2048];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
        text.append(chunk, got / sizeof(wchar_t));
    }
    CloseHandle(file);
    const std::wstring entry = L"line 621 Uninstall Ok,But no device!\r\n";
    int count = 0;
    for (size_t at = text.find(entry); at != std::wstring::npos;
         at = text.find(entry, at + entry.size())) {
        ++count;
    }
    return count;
}

// The value at fraction q of sorted samples, between neighbours.
double Quantile(const std::vector<double>& sorted, double q)
{
    const double position = q * (sorted.size() - 1);
    const size_t below = static_cast<size_t>(position);
    if (below + 1 >= sorted.size()) {
        return sorted.back();
    }
    const double weight = position - below;
    return sorted[below] * (1 - weight) + sorted[below + 1] * weight;
}

struct Summary {
    double median, min, max, q1, q3;
};

Summary Summarize(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {Quantile(values, 0.5), values.front(), values.back(), Quantile(values, 0.25),
            Quantile(values, 0.75)};
}

}  // namespace

int wmain(int argc, wchar_t* argv[])
{
    if (argc < 6) {
        fwprintf(stderr, L"usage: process_bench RUNS HARDWARE_ID SERVICE PROGRAM...\n");
        return 2;
    }
    const int runs = _wtoi(argv[1]);
    if (runs < 1) {
        fwprintf(stderr, L"RUNS must be at least 1\n");
        return 2;
    }
    const std::wstring arguments =
        L"uninstall " + Quoted(argv[2]) + L" " + Quoted(argv[3]);
    std::vector<Program> programs;
    for (int i = 4; i < argc; ++i) {
        wchar_t full[MAX_PATH];
        wchar_t* name = nullptr;
        if (GetFullPathNameW(argv[i], MAX_PATH, full, &name) == 0 || name == nullptr) {
            fwprintf(stderr, L"bad program path %ls\n", argv[i]);
            return 2;
        }
        Program program;
        program.path = full;
        program.folder.assign(full, name - 1);
        program.name = name;
        DeleteFileW(LogPath(program).c_str());
        programs.push_back(program);
    }

    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
    if (nul == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"cannot open NUL, error %lu\n", GetLastError());
        return 2;
    }

    const size_t count = programs.size();
    for (int round = -kWarmUpRounds; round < runs; ++round) {
        for (size_t k = 0; k < count; ++k) {
            Program& program = programs[(static_cast<size_t>(round + kWarmUpRounds) + k) % count];
            const double ms = RunOnce(program, arguments, nul);
            if (ms < 0) {
                return 1;
            }
            if (round >= 0) {
                program.ms.push_back(ms);
            }
        }
    }
    CloseHandle(nul);

    for (const Program& program : programs) {
        const int expected = runs + kWarmUpRounds;
        const int entries = CountNoDeviceEntries(program);
        if (entries != expected) {
            fwprintf(stderr, L"%ls: %d no-device entries in its log, expected %d\n",
                     program.name.c_str(), entries, expected);
            return 1;
        }
    }

    wprintf(L"Whole process, `uninstall <absent ID> <service>`: %d timed runs of each program "
            L"(after %d untimed), in turn; %d refused starts run again\n",
            runs, kWarmUpRounds, g_refusedStarts);
    wprintf(L"%-30ls %8ls %8ls %8ls %8ls\n", L"program (ms)", L"median", L"min", L"max",
            L"IQR");
    std::vector<Summary> summaries;
    for (const Program& program : programs) {
        const Summary s = Summarize(program.ms);
        summaries.push_back(s);
        wprintf(L"%-30ls %8.1f %8.1f %8.1f %8.1f\n", program.name.c_str(), s.median, s.min,
                s.max, s.q3 - s.q1);
    }
    // The headline is the median of each round's own ratio: the programs of
    // one round run back to back, under the same load, so drift and the
    // other work on the machine cancel out of it; the ratio of the medians
    // and of the fastest runs are shown beside it.
    const Program& subject = programs[0];
    wprintf(L"%-45ls %8ls %15ls %9ls %9ls\n", L"ratio", L"median", L"IQR", L"medians",
            L"minimums");
    double headline = 0;
    for (size_t i = 1; i < count; ++i) {
        std::vector<double> paired;
        for (int r = 0; r < runs; ++r) {
            paired.push_back(subject.ms[r] / programs[i].ms[r]);
        }
        const Summary p = Summarize(paired);
        if (i == 1) {
            headline = p.median;
        }
        const std::wstring label = subject.name + L" / " + programs[i].name;
        wprintf(L"%-45ls %8.3f %7.3f-%-7.3f %9.3f %9.3f\n", label.c_str(), p.median, p.q1, p.q3,
                summaries[0].median / summaries[i].median, summaries[0].min / summaries[i].min);
    }
    if (count > 1) {
        wprintf(L"target: %ls / %ls at most 1.03 (median per-round ratio): %.3f, %ls\n",
                subject.name.c_str(), programs[1].name.c_str(), headline,
                headline <= 1.03 ? L"met" : L"NOT met");
    }
    return 0;
}
