// The custom-action library's code against a simulated installer session
// (properties, log and run modes are stand-ins reached through the library's
// call table) and real processes: stand-ins for Pinwheel.exe that exit with
// a fixed code and write down how they were called.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "action_calls.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"
#include "system_call_override.h"
#include "tool_action.h"

namespace {

const MSIHANDLE kSession = 42;
const std::wstring kPrefix = L"PinwheelMsi: ";

// What the simulated session holds and what the library did to it.
struct Session {
    std::map<std::wstring, std::wstring> properties;
    std::vector<std::wstring> log;
    std::vector<INSTALLMESSAGE> messageTypes;
    std::vector<std::pair<MSIRUNMODE, BOOL>> modes;
    UINT setModeResult = ERROR_SUCCESS;
    std::vector<std::pair<std::wstring, DWORD>> moves;
};
Session* g_session;

// MsiGetPropertyW's contract: the length without the terminator comes back
// in *size; a buffer too small gets ERROR_MORE_DATA.
UINT WINAPI FakeGetProperty(MSIHANDLE, LPCWSTR name, LPWSTR value, LPDWORD size)
{
    auto found = g_session->properties.find(name);
    const std::wstring text = found == g_session->properties.end() ? L"" : found->second;
    const DWORD room = *size;
    *size = static_cast<DWORD>(text.size());
    if (room <= text.size()) {
        if (room > 0) {
            value[0] = L'\0';
        }
        return ERROR_MORE_DATA;
    }
    lstrcpyW(value, text.c_str());
    return ERROR_SUCCESS;
}

// Formats the record as the installer would write it to its log.
int WINAPI FakeProcessMessage(MSIHANDLE, INSTALLMESSAGE type, MSIHANDLE record)
{
    wchar_t text[4096];
    DWORD size = sizeof(text) / sizeof(text[0]);
    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), MsiFormatRecordW(0, record, text, &size));
    g_session->log.push_back(text);
    g_session->messageTypes.push_back(type);
    return IDOK;
}

UINT WINAPI FakeSetMode(MSIHANDLE, MSIRUNMODE mode, BOOL state)
{
    g_session->modes.push_back({mode, state});
    return g_session->setModeResult;
}

// A deletion at the next restart would reach into the test prefix's
// registry: only what was asked is kept.
BOOL WINAPI FakeMoveFile(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    EXPECT_EQ(nullptr, to);
    g_session->moves.push_back({from, flags});
    return TRUE;
}

class SimulatedSession : public Session {
public:
    SimulatedSession()
        : m_property(&FakeGetProperty),
          m_message(&FakeProcessMessage),
          m_mode(&FakeSetMode),
          m_move(&FakeMoveFile)
    {
        g_session = this;
    }
    ~SimulatedSession() { g_session = nullptr; }

private:
    Override<msica::MsiGetPropertyW> m_property;
    Override<msica::MsiProcessMessage> m_message;
    Override<msica::MsiSetMode> m_mode;
    Override<msica::MoveFileExW> m_move;
};

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring StandInCallsPath()
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\Temp\\pinwheel-stand-in-calls.txt";
}

// The command lines the stand-ins were started with since the last call.
std::wstring TakeStandInCalls()
{
    std::string bytes = ReadFileBytes(StandInCallsPath());
    DeleteFileW(StandInCallsPath().c_str());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// A program folder holding a stand-in, installed as Pinwheel.exe, that exits
// with `exitCode`.
std::wstring ProgramFolderWithStandIn(const std::wstring& name, int exitCode)
{
    std::wstring folder = FreshTestDirectory(name);
    std::wstring standIn =
        BuildDirectory() + L"\\stand-in\\PinwheelExit" + std::to_wstring(exitCode) + L".exe";
    EXPECT_TRUE(CopyFileW(standIn.c_str(), (folder + L"\\Pinwheel.exe").c_str(), FALSE))
        << GetLastError();
    return folder;
}

std::wstring InstallCommand(const std::wstring& folder)
{
    return L"\"" + folder + L"\\Pinwheel.exe\" install ROOT\\PinwheelDemo \"" + folder +
           L"\\PinwheelDemo.inf\"";
}

std::wstring MarkerIn(const std::wstring& folder)
{
    return folder + L"\\" + kRebootMarkerName;
}

struct ExitCase {
    int exitCode;
    ToolPhase phase;
    UINT result;
    bool marker;
    const wchar_t* outcome;
};

const ExitCase kExitCases[] = {
    {0, ToolPhase::Install, ERROR_SUCCESS, false, L"done"},
    {1, ToolPhase::Install, ERROR_SUCCESS, true, L"done; the computer must be restarted"},
    {2, ToolPhase::Install, ERROR_INSTALL_FAILURE, false, L"failed; the installation rolls back"},
    {3, ToolPhase::Install, ERROR_INSTALL_FAILURE, false, L"failed; the installation rolls back"},
    {0, ToolPhase::Uninstall, ERROR_SUCCESS, false, L"done"},
    {1, ToolPhase::Uninstall, ERROR_SUCCESS, true, L"done; the computer must be restarted"},
    {2, ToolPhase::Uninstall, ERROR_SUCCESS, false,
     L"warning: the driver's device was not removed; the removal goes on"},
    {3, ToolPhase::Uninstall, ERROR_SUCCESS, false,
     L"warning: the driver's device was not removed; the removal goes on"},
};

// The folder has a space in its name, as "Program Files" has: the quoted
// tool path must still find it.
TEST(RunToolTest, MapsEveryExitCodeAndLogsIt)
{
    TakeStandInCalls();
    for (const ExitCase& c : kExitCases) {
        SCOPED_TRACE("exit code " + std::to_string(c.exitCode) +
                     (c.phase == ToolPhase::Install ? " on install" : " on uninstall"));
        std::wstring folder = ProgramFolderWithStandIn(L"msi action", c.exitCode);
        SimulatedSession session;
        session.properties[L"CustomActionData"] = InstallCommand(folder);

        EXPECT_EQ(c.result, RunToolFromActionData(kSession, c.phase));

        const std::wstring run = InstallCommand(folder) + L" /quiet";
        EXPECT_EQ(run + L"\r\n", TakeStandInCalls());
        EXPECT_EQ(std::vector<std::wstring>{kPrefix + run + L": exit code " +
                                            std::to_wstring(c.exitCode) + L", " + c.outcome},
                  session.log);
        EXPECT_EQ(std::vector<INSTALLMESSAGE>{INSTALLMESSAGE_INFO}, session.messageTypes);
        EXPECT_EQ(c.marker, FileExists(MarkerIn(folder)));
        if (c.marker) {
            // Gone with the restart it stands for, even if nobody removes it.
            EXPECT_EQ((std::vector<std::pair<std::wstring, DWORD>>{
                          {MarkerIn(folder), MOVEFILE_DELAY_UNTIL_REBOOT}}),
                      session.moves);
        }
        EXPECT_TRUE(session.modes.empty());
    }
}

TEST(RunToolTest, UnquotedToolPathLeavesTheMarkerBesideTheTool)
{
    std::wstring folder = ProgramFolderWithStandIn(L"msi-action-unquoted", 1);
    SimulatedSession session;
    session.properties[L"CustomActionData"] =
        folder + L"\\Pinwheel.exe uninstall ROOT\\PinwheelDemo PinwheelDemo";
    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS),
              RunToolFromActionData(kSession, ToolPhase::Uninstall));
    EXPECT_TRUE(FileExists(MarkerIn(folder)));
    TakeStandInCalls();
}

// Failures before the tool runs, or of the run itself: a failed install
// rolls back, a failed removal goes on; either way one line says why.
TEST(RunToolTest, FailuresAroundTheRunAreLoggedAndMapped)
{
    std::wstring folder = ProgramFolderWithStandIn(L"msi-action-failures", 0);
    const std::wstring run = InstallCommand(folder) + L" /quiet";
    const std::wstring noData =
        L"no command line in CustomActionData (set the property named after this deferred "
        L"action)";
    const std::wstring rollsBack = L"failed; the installation rolls back";
    const std::wstring goesOn =
        L"warning: the driver's device was not removed; the removal goes on";

    struct Case {
        const char* name;
        ToolPhase phase;
        bool hasData;
        int fail;  // 0 none, 1 the property call, 2 process start, 3 the wait
        UINT result;
        std::wstring line;
    };
    const Case cases[] = {
        {"no CustomActionData", ToolPhase::Install, false, 0, ERROR_INSTALL_FAILURE, noData},
        {"no CustomActionData", ToolPhase::Uninstall, false, 0, ERROR_INSTALL_FAILURE, noData},
        {"property call refused", ToolPhase::Install, true, 1, ERROR_INSTALL_FAILURE, noData},
        {"tool cannot start", ToolPhase::Install, true, 2, ERROR_INSTALL_FAILURE,
         L"cannot start " + run + L": error 2; " + rollsBack},
        {"tool cannot start", ToolPhase::Uninstall, true, 2, ERROR_SUCCESS,
         L"cannot start " + run + L": error 2; " + goesOn},
        {"no exit code", ToolPhase::Install, true, 3, ERROR_INSTALL_FAILURE,
         run + L": no exit code, error 6; " + rollsBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) +
                     (c.phase == ToolPhase::Install ? " on install" : " on uninstall"));
        SimulatedSession session;
        if (c.hasData) {
            session.properties[L"CustomActionData"] = InstallCommand(folder);
        }
        UINT result;
        if (c.fail == 1) {
            Fail<msica::MsiGetPropertyW> fail(ERROR_INVALID_HANDLE, kKeepLastError);
            result = RunToolFromActionData(kSession, c.phase);
        } else if (c.fail == 2) {
            Fail<msica::CreateProcessW> fail(FALSE, ERROR_FILE_NOT_FOUND);
            result = RunToolFromActionData(kSession, c.phase);
        } else if (c.fail == 3) {
            Fail<msica::WaitForSingleObject> fail(WAIT_FAILED, ERROR_INVALID_HANDLE);
            result = RunToolFromActionData(kSession, c.phase);
        } else {
            result = RunToolFromActionData(kSession, c.phase);
        }
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(std::vector<std::wstring>{kPrefix + c.line}, session.log);
        EXPECT_FALSE(FileExists(MarkerIn(folder)));
    }
    TakeStandInCalls();
}

TEST(RunToolTest, MarkerThatCannotBeWrittenIsLoggedAndTheRunStillSucceeds)
{
    std::wstring folder = ProgramFolderWithStandIn(L"msi-action-no-marker", 1);
    SimulatedSession session;
    session.properties[L"CustomActionData"] = InstallCommand(folder);
    Fail<msica::CreateFileW> fail(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);

    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS),
              RunToolFromActionData(kSession, ToolPhase::Install));
    ASSERT_EQ(2u, session.log.size());
    EXPECT_EQ(kPrefix + L"cannot leave the restart marker in \"" + folder +
                  L"\\\" (error 5): restart the computer to finish",
              session.log[1]);
    EXPECT_FALSE(FileExists(MarkerIn(folder)));
    TakeStandInCalls();
}

const std::wstring kRestartLine =
    L"PinwheelMsi: Pinwheel.exe asked for a restart: the computer must be restarted";

// The whole channel: the deferred action's marker becomes the immediate
// action's restart at the end, and does not outlive it.
TEST(ScheduleRebootTest, MarkerFromTheDeferredActionBecomesARestartAtTheEnd)
{
    std::wstring folder = ProgramFolderWithStandIn(L"msi-action-channel", 1);
    SimulatedSession session;
    session.properties[L"CustomActionData"] = InstallCommand(folder);
    session.properties[kFolderProperty] = folder + L"\\";
    ASSERT_EQ(static_cast<UINT>(ERROR_SUCCESS),
              RunToolFromActionData(kSession, ToolPhase::Install));
    session.log.clear();

    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), ScheduleRebootIfRequested(kSession));
    EXPECT_EQ((std::vector<std::pair<MSIRUNMODE, BOOL>>{{MSIRUNMODE_REBOOTATEND, TRUE}}),
              session.modes);
    EXPECT_EQ(std::vector<std::wstring>{kRestartLine}, session.log);
    EXPECT_FALSE(FileExists(MarkerIn(folder)));
    EXPECT_TRUE(FileExists(folder + L"\\Pinwheel.exe"));

    // A second run of the immediate action finds nothing to report.
    session.modes.clear();
    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), ScheduleRebootIfRequested(kSession));
    EXPECT_TRUE(session.modes.empty());
    TakeStandInCalls();
}

TEST(ScheduleRebootTest, ReportsOnlyAMarkerThatIsThere)
{
    struct Case {
        const char* name;
        bool setProperty;
        bool trailingBackslash;
        bool marker;
        bool otherFile;
        UINT setModeResult;
        bool restart;
        bool folderStays;
        std::vector<std::wstring> log;
    };
    const Case cases[] = {
        {"marker after an install",
         true,
         true,
         true,
         true,
         ERROR_SUCCESS,
         true,
         true,
         {kRestartLine}},
        {"marker after a removal: the emptied folder goes",
         true,
         true,
         true,
         false,
         ERROR_SUCCESS,
         true,
         false,
         {kRestartLine}},
        {"folder without its trailing backslash",
         true,
         false,
         true,
         true,
         ERROR_SUCCESS,
         true,
         true,
         {kRestartLine}},
        {"no marker", true, true, false, true, ERROR_SUCCESS, false, true, {}},
        {"no marker and an empty folder", true, true, false, false, ERROR_SUCCESS, false, true, {}},
        {"PINWHEELFOLDER not set",
         false,
         true,
         true,
         true,
         ERROR_SUCCESS,
         false,
         true,
         {L"PinwheelMsi: the PINWHEELFOLDER property is not set: a restart Pinwheel.exe asked "
          L"for is not reported"}},
        {"restart refused",
         true,
         true,
         true,
         true,
         ERROR_INVALID_HANDLE,
         true,
         true,
         {L"PinwheelMsi: Pinwheel.exe asked for a restart, and the installer refused it (error "
          L"6): restart the computer to finish"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring folder = FreshTestDirectory(L"msi-action-reboot");
        if (c.marker) {
            WriteFileBytes(MarkerIn(folder), "");
        }
        if (c.otherFile) {
            WriteFileBytes(folder + L"\\Pinwheel.exe", "MZ");
        }
        SimulatedSession session;
        session.setModeResult = c.setModeResult;
        if (c.setProperty) {
            session.properties[kFolderProperty] = folder + (c.trailingBackslash ? L"\\" : L"");
        }

        EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), ScheduleRebootIfRequested(kSession));
        if (c.restart) {
            EXPECT_EQ((std::vector<std::pair<MSIRUNMODE, BOOL>>{{MSIRUNMODE_REBOOTATEND, TRUE}}),
                      session.modes);
        } else {
            EXPECT_TRUE(session.modes.empty());
        }
        EXPECT_EQ(c.log, session.log);
        EXPECT_EQ(c.restart ? false : c.marker, FileExists(MarkerIn(folder)));
        EXPECT_EQ(c.folderStays, FileExists(folder));
    }
}

}  // namespace
