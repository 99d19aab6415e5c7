// Console output of the real Pinwheel.exe under Wine as an installer
// captures it through a pipe: every message whole when the INF's path holds
// characters outside ASCII, and each text in the pipe when it is printed,
// not when the run ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const DWORD kRunTimeoutMs = 120000;

std::string Narrow(const std::wstring& ascii)
{
    return std::string(ascii.begin(), ascii.end());
}

// Owns one handle.
class Handle {
public:
    Handle() = default;
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void Reset(HANDLE handle = nullptr)
    {
        if (m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
        m_handle = handle;
    }
    HANDLE Get() const { return m_handle; }
    HANDLE* Out() { return &m_handle; }

private:
    HANDLE m_handle = nullptr;
};

// A run of the tool with its standard output and error in one pipe, which
// the test reads while the run goes on. A run still going when the object
// goes away is ended.
class PipedRun {
public:
    PipedRun(const std::wstring& exe, const std::vector<std::wstring>& arguments,
             const std::wstring& directory, DWORD creationFlags)
    {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        Handle writeEnd;
        if (!CreatePipe(m_pipe.Out(), writeEnd.Out(), &inherit, 0) ||
            !SetHandleInformation(m_pipe.Get(), HANDLE_FLAG_INHERIT, 0)) {
            ADD_FAILURE() << "no pipe: " << GetLastError();
            return;
        }
        std::wstring commandLine = QuoteArgument(exe);
        for (const std::wstring& argument : arguments) {
            commandLine += L" " + QuoteArgument(argument);
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd.Get();
        startup.hStdError = writeEnd.Get();
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, creationFlags,
                            nullptr, directory.c_str(), &startup, &process)) {
            ADD_FAILURE() << "cannot start the tool: " << GetLastError();
            return;
        }
        m_process.Reset(process.hProcess);
        CloseHandle(process.hThread);
        // writeEnd closes here: only the tool holds the pipe's writing end.
    }

    ~PipedRun()
    {
        if (Running()) {
            TerminateProcess(m_process.Get(), 0xDEAD);
            WaitForSingleObject(m_process.Get(), kRunTimeoutMs);
        }
    }

    bool Started() const { return m_process.Get() != nullptr; }
    bool Running() const
    {
        return Started() && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
    }
    const std::string& Output() const { return m_output; }

    // Reads the pipe until the output holds `text`; false when the run ended
    // or `timeoutMs` passed without it.
    bool ReadUntil(const std::string& text, DWORD timeoutMs)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        while (Started()) {
            const bool ended = !Running();
            Drain();
            if (m_output.find(text) != std::string::npos) {
                return true;
            }
            if (ended || GetTickCount64() > deadline) {
                return false;
            }
            Sleep(10);
        }
        return false;
    }

    // Waits for the end of the run, reading the pipe all the while, and
    // gives its exit code; a run that does not end in time is ended and
    // reported as timed out.
    bool Finish(DWORD* exitCode)
    {
        const ULONGLONG deadline = GetTickCount64() + kRunTimeoutMs;
        while (Started()) {
            const bool ended = WaitForSingleObject(m_process.Get(), 10) == WAIT_OBJECT_0;
            Drain();
            if (ended) {
                return GetExitCodeProcess(m_process.Get(), exitCode) != FALSE;
            }
            if (GetTickCount64() > deadline) {
                ADD_FAILURE() << "the run did not end in time";
                TerminateProcess(m_process.Get(), 0xDEAD);
                WaitForSingleObject(m_process.Get(), kRunTimeoutMs);
                return false;
            }
        }
        return false;
    }

private:
    // Reads whatever the pipe holds now, without waiting for more.
    void Drain()
    {
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(m_pipe.Get(), nullptr, 0, nullptr, &available, nullptr) ||
                available == 0) {
                return;
            }
            char chunk[4096];
            DWORD got = 0;
            const DWORD want = available < sizeof(chunk) ? available : sizeof(chunk);
            if (!ReadFile(m_pipe.Get(), chunk, want, &got, nullptr) || got == 0) {
                return;
            }
            m_output.append(chunk, got);
        }
    }

    Handle m_pipe;
    Handle m_process;
    std::string m_output;
};

// Wine's code pages in this prefix (English locales, which C.UTF-8 maps to):
// a process without a console converts to the ANSI code page, Windows-1252;
// one started with a console of its own has that console's output code page,
// the OEM code page 437. Neither holds the CJK characters.
TEST(ConsoleOutputTest, NonAsciiInfPathPrintsAllThreeMessagesWhole)
{
    ASSERT_EQ(1252u, GetACP()) << "the expected bytes are those of Wine's English code pages";
    ASSERT_EQ(437u, GetOEMCP()) << "the expected bytes are those of Wine's English code pages";
    struct Case {
        const char* name;
        DWORD creationFlags;
        std::string folders;  // "Übung-é\张三" in the run's code page
    } cases[] = {
        {"no console: ANSI code page", DETACHED_PROCESS,
         "\xDC"
         "bung-\xE9\\??"},
        {"console of its own: its code page", CREATE_NO_WINDOW,
         "\x9A"
         "bung-\x82\\??"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PinwheelSandbox sandbox;
        const std::wstring latin = sandbox.Directory() + L"\\\u00DCbung-\u00E9";
        const std::wstring cjk = latin + L"\\\u5F20\u4E09";
        ASSERT_TRUE(CreateDirectoryW(latin.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(cjk.c_str(), nullptr));
        DriverPackage package = MakeDriverPackage(cjk, L"Wide");

        PipedRun run(sandbox.Exe(), {L"install", package.hardwareId, package.infPath, L"/quiet"},
                     sandbox.Directory(), c.creationFlags);
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(run.Finish(&exitCode));
        EXPECT_EQ(0u, exitCode);
        EXPECT_EQ(
            "Install driver,please wait...Device node created.\r\n"
            "Installing the driver for " +
                Narrow(package.hardwareId) + " from " + Narrow(sandbox.Directory()) + "\\" +
                c.folders +
                "\\Wide.inf...\r\n"
                "Driver installed.\r\n",
            run.Output());
        EXPECT_EQ("", ReadFileBytes(sandbox.LogPath()));
        EXPECT_EQ(1u, DevicesWithHardwareId(package.hardwareId).size());
    }
}

// The machine-wide lock of the device work, held here as another run would
// hold it. The tool prints its progress text before it waits for the lock.
class HeldRunLock {
public:
    HeldRunLock() : m_mutex(CreateMutexW(nullptr, FALSE, L"Global\\PinwheelDeviceSetup"))
    {
        const DWORD wait =
            m_mutex != nullptr ? WaitForSingleObject(m_mutex, kRunTimeoutMs) : WAIT_FAILED;
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~HeldRunLock()
    {
        Release();
        if (m_mutex != nullptr) {
            CloseHandle(m_mutex);
        }
    }
    HeldRunLock(const HeldRunLock&) = delete;
    HeldRunLock& operator=(const HeldRunLock&) = delete;

    bool Held() const { return m_held; }
    void Release()
    {
        if (m_held) {
            ReleaseMutex(m_mutex);
            m_held = false;
        }
    }

private:
    HANDLE m_mutex;
    bool m_held = false;
};

TEST(ConsoleOutputTest, CapturedProgressTextArrivesWhileTheRunGoesOn)
{
    const std::string progress = "Uninstall driver,please wait...";
    PinwheelSandbox sandbox;
    HeldRunLock lock;
    ASSERT_TRUE(lock.Held());

    PipedRun run(
        sandbox.Exe(),
        {L"uninstall", L"ROOT\\" + UniqueName(L"Nothing"), UniqueName(L"PwAbsent"), L"/quiet"},
        sandbox.Directory(), 0);
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.ReadUntil(progress, 60000)) << "captured so far: " << run.Output();
    EXPECT_TRUE(run.Running()) << "the run must still be waiting for the lock";
    EXPECT_EQ(progress, run.Output());

    lock.Release();
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.Finish(&exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(progress, run.Output());
}

}  // namespace
