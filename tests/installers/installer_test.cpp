// The example installers run silently, as a deployment tool runs them, in a
// Wine prefix of their own: the NSIS installer and its uninstaller, and the
// MSI package with the custom-action library, around the real Pinwheel.exe
// (the demo driver gets installed) and around stand-ins for it that ask for a
// restart or fail. This program is the installers' Windows parent, so it
// reads their whole exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const wchar_t kHardwareId[] = L"ROOT\\PinwheelDemo";
const wchar_t kService[] = L"PinwheelDemo";
const wchar_t* const kPackageFiles[] = {L"Pinwheel.exe", L"PinwheelDemo.inf", L"PinwheelDemo.sys"};
const DWORD kRunLimitMs = 3 * 60 * 1000;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring Quote(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Installer(const std::wstring& name)
{
    return BuildDirectory() + L"\\..\\installers\\" + name;
}

std::wstring ProgramFiles()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"ProgramFiles", path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring WindowsTemp(const std::wstring& name)
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\Temp\\" + name;
}

// Starts a command line exactly as written (no quoting is added, so that the
// NSIS uninstaller's _?=<folder> stays unquoted with its spaces) without a
// console, as a deployment tool starts an installer, and waits for its exit
// code, for a few minutes at most.
::testing::AssertionResult RunCommand(const std::wstring& commandLine, DWORD* exitCode)
{
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return ::testing::AssertionFailure()
               << "cannot start " << Narrow(commandLine) << ": error " << GetLastError();
    }
    CloseHandle(process.hThread);
    const DWORD wait = WaitForSingleObject(process.hProcess, kRunLimitMs);
    if (wait != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        return ::testing::AssertionFailure()
               << Narrow(commandLine) << " did not end within " << kRunLimitMs / 1000
               << " s (a window waiting for an answer?)";
    }
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hProcess);
    std::printf("  %s -> %lu\n", Narrow(commandLine).c_str(), *exitCode);
    return ::testing::AssertionSuccess();
}

// The command lines the stand-ins were started with since the last call.
std::wstring TakeStandInCalls()
{
    const std::wstring path = WindowsTemp(L"pinwheel-stand-in-calls.txt");
    std::string bytes = ReadFileBytes(path);
    DeleteFileW(path.c_str());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

std::wstring InstallCall(const std::wstring& folder)
{
    return Quote(folder + L"\\Pinwheel.exe") + L" install ROOT\\PinwheelDemo " +
           Quote(folder + L"\\PinwheelDemo.inf") + L" /quiet";
}

std::wstring UninstallCall(const std::wstring& folder)
{
    return Quote(folder + L"\\Pinwheel.exe") + L" uninstall ROOT\\PinwheelDemo PinwheelDemo /quiet";
}

void ExpectPackageFiles(const std::wstring& folder, bool present)
{
    for (const wchar_t* file : kPackageFiles) {
        EXPECT_EQ(present, FileExists(folder + L"\\" + file)) << Narrow(file);
    }
}

void ExpectDemoDeviceAndService(DWORD start)
{
    std::vector<PresentDevice> devices = DevicesWithHardwareId(kHardwareId);
    ASSERT_EQ(1u, devices.size());
    EXPECT_EQ(kService, devices[0].service);
    DWORD value = 0;
    EXPECT_TRUE(ReadServiceDword(kService, L"Start", &value));
    EXPECT_EQ(start, value);
}

bool NsisUninstallEntryExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PinwheelDemo", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring NsisUninstall(const std::wstring& folder)
{
    // Run in place (_?=, last and unquoted), the uninstaller waits for its
    // work; without it, it returns at once while a copy of it works.
    return Quote(folder + L"\\Uninstall.exe") + L" /S _?=" + folder;
}

// The names in a folder, "." and ".." left out.
std::vector<std::wstring> FolderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Run in place, the uninstaller cannot delete itself: it is all that is left,
// and the test removes it. (Wine lets go of an ended program's file and
// folder a moment late, hence the retries.)
void RemoveUninstaller(const std::wstring& folder)
{
    EXPECT_EQ(std::vector<std::wstring>{L"Uninstall.exe"}, FolderEntries(folder));
    for (int attempt = 0; attempt < 50; ++attempt) {
        DeleteFileW((folder + L"\\Uninstall.exe").c_str());
        if (RemoveDirectoryW(folder.c_str())) {
            return;
        }
        Sleep(100);
    }
}

TEST(NsisInstaller, InstallsTheDriverAndItsUninstallerRemovesIt)
{
    const std::wstring folder = ProgramFiles() + L"\\Pinwheel";
    DWORD code = 0;
    ASSERT_TRUE(RunCommand(Quote(Installer(L"PinwheelSetup.exe")) + L" /S", &code));
    EXPECT_EQ(0u, code);
    ExpectPackageFiles(folder, true);
    EXPECT_TRUE(FileExists(folder + L"\\Uninstall.exe"));
    EXPECT_TRUE(NsisUninstallEntryExists());
    ExpectDemoDeviceAndService(3);

    // Under Wine the device cannot be removed (the tool exits 2 and writes
    // Detail.log): the uninstaller warns and goes on, and the service is
    // disabled all the same.
    ASSERT_TRUE(RunCommand(NsisUninstall(folder), &code));
    EXPECT_EQ(0u, code);
    DWORD start = 0;
    EXPECT_TRUE(ReadServiceDword(kService, L"Start", &start));
    EXPECT_EQ(4u, start);
    ExpectPackageFiles(folder, false);
    EXPECT_FALSE(FileExists(folder + L"\\Detail.log"));
    EXPECT_FALSE(NsisUninstallEntryExists());
    RemoveUninstaller(folder);
}

// Around stand-ins for the tool: how each result reaches the installer's and
// the uninstaller's exit code, and how the tool was called.
TEST(NsisInstaller, MapsTheToolsResults)
{
    struct Case {
        int tool;
        DWORD install;
        DWORD uninstall;
    };
    const Case cases[] = {
        {1, 3010, 3010},  // restart needed
        {2, 2, 0},        // install aborted (the message answers itself); removal goes on
        {3, 2, 0},
    };
    TakeStandInCalls();
    for (const Case& c : cases) {
        SCOPED_TRACE("tool exit code " + std::to_string(c.tool));
        const std::wstring n = std::to_wstring(c.tool);
        const std::wstring folder = L"C:\\PinwheelNsisExit" + n;
        DWORD code = 0;
        ASSERT_TRUE(RunCommand(
            Quote(Installer(L"PinwheelSetup-exit" + n + L".exe")) + L" /S /D=" + folder, &code));
        EXPECT_EQ(c.install, code);
        EXPECT_EQ(InstallCall(folder) + L"\r\n", TakeStandInCalls());
        // Also after a failed install: the files and the uninstaller stay,
        // for the uninstall that the message asks for.
        ExpectPackageFiles(folder, true);

        ASSERT_TRUE(RunCommand(NsisUninstall(folder), &code));
        EXPECT_EQ(c.uninstall, code);
        EXPECT_EQ(UninstallCall(folder) + L"\r\n", TakeStandInCalls());
        ExpectPackageFiles(folder, false);
        RemoveUninstaller(folder);
    }
}

// Runs msiexec with a verbose log and returns the log's bytes (Wine writes
// it as ANSI text).
::testing::AssertionResult RunMsiexec(const std::wstring& arguments, const std::wstring& logName,
                                      DWORD* exitCode, std::string* log)
{
    const std::wstring logPath = WindowsTemp(logName);
    DeleteFileW(logPath.c_str());
    ::testing::AssertionResult ran =
        RunCommand(L"msiexec.exe " + arguments + L" /qn /l*v " + Quote(logPath), exitCode);
    *log = ReadFileBytes(logPath);
    return ran;
}

bool Contains(const std::string& text, const std::wstring& part)
{
    return text.find(Narrow(part)) != std::string::npos;
}

TEST(MsiPackage, InstallsTheDriverAndRemovesIt)
{
    const std::wstring folder = ProgramFiles() + L"\\Pinwheel";
    const std::wstring package = Quote(Installer(L"Pinwheel.msi"));
    DWORD code = 0;
    std::string log;
    ASSERT_TRUE(RunMsiexec(L"/i " + package, L"pinwheel-msi-install.log", &code, &log));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(Contains(log, L"PinwheelMsi: " + InstallCall(folder) + L": exit code 0, done"))
        << log;
    ExpectPackageFiles(folder, true);
    ExpectDemoDeviceAndService(3);

    // Under Wine the device cannot be removed (exit code 2): the removal is
    // logged as a warning and goes on.
    ASSERT_TRUE(RunMsiexec(L"/x " + package, L"pinwheel-msi-remove.log", &code, &log));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(Contains(log, L"PinwheelMsi: " + UninstallCall(folder) + L": exit code ")) << log;
    DWORD start = 0;
    EXPECT_TRUE(ReadServiceDword(kService, L"Start", &start));
    EXPECT_EQ(4u, start);
    EXPECT_FALSE(FileExists(folder)) << "Detail.log or the folder was left behind";
}

TEST(MsiPackage, RestartRequestBecomes3010)
{
    const std::wstring folder = L"C:\\PinwheelMsiExit1";
    const std::wstring package = Quote(Installer(L"Pinwheel-exit1.msi"));
    const std::wstring restart =
        L"PinwheelMsi: Pinwheel.exe asked for a restart: the computer must be restarted";
    TakeStandInCalls();
    DWORD code = 0;
    std::string log;
    ASSERT_TRUE(RunMsiexec(L"/i " + package + L" PINWHEELFOLDER=" + folder + L"\\",
                           L"pinwheel-msi-exit1.log", &code, &log));
    EXPECT_EQ(3010u, code);
    EXPECT_EQ(InstallCall(folder) + L"\r\n", TakeStandInCalls());
    EXPECT_TRUE(Contains(log, L"PinwheelMsi: " + InstallCall(folder) +
                                  L": exit code 1, done; the computer must be restarted"))
        << log;
    EXPECT_TRUE(Contains(log, restart)) << log;
    ExpectPackageFiles(folder, true);
    EXPECT_FALSE(FileExists(folder + L"\\Pinwheel.RebootPending"));

    ASSERT_TRUE(RunMsiexec(L"/x " + package, L"pinwheel-msi-exit1-remove.log", &code, &log));
    EXPECT_EQ(3010u, code);
    EXPECT_EQ(UninstallCall(folder) + L"\r\n", TakeStandInCalls());
    EXPECT_TRUE(Contains(log, restart)) << log;
    // The marker, the files and the folder are all gone.
    EXPECT_FALSE(FileExists(folder));
}

// Windows Installer ends a failed installation with 1603; Wine's msiexec
// with 1603 or 1627. Either way the installed files are taken back, and the
// rollback action runs the tool's uninstall: on Windows before the files go
// (the rollback script runs backwards); Wine takes the files back first, so
// there it finds no tool and says so in the log. (Wine also leaves the
// emptied folder behind; Windows removes it.)
TEST(MsiPackage, FailedToolRollsTheInstallationBack)
{
    TakeStandInCalls();
    for (int tool : {2, 3}) {
        SCOPED_TRACE("tool exit code " + std::to_string(tool));
        const std::wstring n = std::to_wstring(tool);
        const std::wstring folder = L"C:\\PinwheelMsiExit" + n;
        DWORD code = 0;
        std::string log;
        ASSERT_TRUE(RunMsiexec(L"/i " + Quote(Installer(L"Pinwheel-exit" + n + L".msi")) +
                                   L" PINWHEELFOLDER=" + folder + L"\\",
                               L"pinwheel-msi-exit" + n + L".log", &code, &log));
        EXPECT_TRUE(code == 1603 || code == 1627) << code;
        EXPECT_EQ(0u, TakeStandInCalls().find(InstallCall(folder) + L"\r\n"));
        EXPECT_TRUE(Contains(log, UninstallCall(folder))) << "no rollback\n" << log;
        EXPECT_TRUE(Contains(log, L"PinwheelMsi: " + InstallCall(folder) + L": exit code " + n +
                                      L", failed; the installation rolls back"))
            << log;
        ExpectPackageFiles(folder, false);
    }
}

}  // namespace
