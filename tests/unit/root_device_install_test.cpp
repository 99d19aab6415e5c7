// The install step against simulated device services: the calls it makes,
// what it stores on the node, what it prints, and every failure site with
// its exact log bytes and clean-up.
#include <gtest/gtest.h>

#include "devices/root_device_install.h"
#include "log_directory.h"
#include "setup_result.h"
#include "simulated_devices.h"

namespace {

class InstallRootDeviceTest : public ::testing::Test {
protected:
    InstallRootDeviceTest()
    {
        GetCurrentDirectoryW(MAX_PATH, m_savedDirectory);
        SetCurrentDirectoryW(log.Path().c_str());
        WriteFileBytes(InfPath(), "[Version]\r\n");
    }
    ~InstallRootDeviceTest() override { SetCurrentDirectoryW(m_savedDirectory); }
    std::wstring InfPath() const { return log.Path() + L"\\demo.inf"; }
    std::string Narrow(const std::wstring& text) const
    {
        return std::string(text.begin(), text.end());
    }

    // Runs the install step; what it printed is in `printed`.
    int Install(const wchar_t* hardwareId, const wchar_t* infPath)
    {
        CapturedStdout out;
        const int result = InstallRootDevice(hardwareId, infPath);
        printed = out.Text();
        return result;
    }

    LogDirectory log;
    SimulatedDevices sim;
    std::string printed;

private:
    wchar_t m_savedDirectory[MAX_PATH];
};

TEST_F(InstallRootDeviceTest, RegistersANodeAndInstallsTheDriverWithARelativeInfPath)
{
    EXPECT_EQ(ResultOk, Install(L"ROOT\\Demo", L"demo.inf"));
    const std::vector<std::string> expected = {
        "SetupDiGetINFClassW(" + Narrow(InfPath()) + ",size=32,required=null)",
        "SetupDiCreateDeviceInfoList(guid=inf,parent=null)",
        "SetupDiCreateDeviceInfoW(PinwheelDemo,guid=inf,description=null,parent=null,flags=1)",
        "SetupDiSetDeviceRegistryPropertyW(property=1,size=22)",
        "SetupDiCallClassInstaller(function=25)",
        "LoadLibraryExW(newdev.dll,file=null,flags=0x800)",
        "GetProcAddress(UpdateDriverForPlugAndPlayDevicesW)",
        "UpdateDriverForPlugAndPlayDevicesW(parent=null,flags=1)",
        "FreeLibrary",
        "SetupDiDestroyDeviceInfoList",
    };
    EXPECT_EQ(expected, sim.calls);
    EXPECT_EQ(MultiSz({L"ROOT\\Demo"}), sim.storedHardwareIds);
    EXPECT_EQ(L"ROOT\\Demo", sim.updateHardwareId);
    EXPECT_EQ(InfPath(), sim.updateInfPath);
    EXPECT_EQ("Device node created.\r\nInstalling the driver for ROOT\\Demo from " +
                  Narrow(InfPath()) + "...\r\nDriver installed.\r\n",
              printed);
    EXPECT_EQ(1u, sim.devices.size());
    EXPECT_TRUE(sim.Balanced());
    EXPECT_FALSE(log.LogExists());
}

TEST_F(InstallRootDeviceTest, RestartFlagGivesResultReboot)
{
    sim.updateNeedsRestart = TRUE;
    EXPECT_EQ(ResultReboot, Install(L"ROOT\\Demo", InfPath().c_str()));
    EXPECT_TRUE(sim.Balanced());
    EXPECT_FALSE(log.LogExists());
}

TEST_F(InstallRootDeviceTest, LongHardwareIdIsStoredCutAndAskedForWhole)
{
    const std::wstring id = L"ROOT\\" + std::wstring(295, L'x');
    EXPECT_EQ(ResultOk, Install(id.c_str(), InfPath().c_str()));
    EXPECT_EQ(MultiSz({id.substr(0, 255)}), sim.storedHardwareIds);
    EXPECT_EQ(514u, sim.storedHardwareIds.size());
    EXPECT_EQ(id, sim.updateHardwareId);
}

TEST_F(InstallRootDeviceTest, EmptyHardwareIdIsStoredAsTheEmptyList)
{
    EXPECT_EQ(ResultOk, Install(L"", InfPath().c_str()));
    EXPECT_EQ(Bytes(4, 0), sim.storedHardwareIds);
}

// Each failure site: the entry it writes, what it leaves behind and what was
// printed before it.
TEST_F(InstallRootDeviceTest, EveryFailureSiteLogsAndCleansUp)
{
    struct Case {
        const char* name;
        std::function<std::shared_ptr<void>(SimulatedDevices&)> arrange;
        std::wstring entry;
        int lists;     // device information lists created (and destroyed)
        size_t nodes;  // registered nodes left on the system
        int messages;  // numbered messages printed
    };
    const Case cases[] = {
        {"full path",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(new Fail<win::GetFullPathNameW>(0, ERROR_ACCESS_DENIED));
         },
         Entry(289, L"GetFullPathName fail,error code is 0x5!"), 0, 0, 0},
        {"INF class",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(
                 new Fail<win::SetupDiGetINFClassW>(FALSE, ERROR_FILE_NOT_FOUND));
         },
         Entry(304, L"SetupDiGetINFClass fail,error code is 0x2!"), 0, 0, 0},
        {"list",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(new Fail<win::SetupDiCreateDeviceInfoList>(
                 INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY));
         },
         Entry(314, L"SetupDiCreateDeviceInfoList fail,error code is 0x8!"), 0, 0, 0},
        {"element",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(
                 new Fail<win::SetupDiCreateDeviceInfoW>(FALSE, 0xE000020B));
         },
         Entry(331, L"SetupDiCreateDeviceInfo fail,error code is 0xe000020b!"), 1, 0, 0},
        {"hardware ID",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(
                 new Fail<win::SetupDiSetDeviceRegistryPropertyW>(FALSE, 0xD));
         },
         Entry(344, L"SetupDiSetDeviceRegistryProperty fail,error code is 0xd!"), 1, 0, 0},
        {"register",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(
                 new Fail<win::SetupDiCallClassInstaller>(FALSE, 0xE0000217));
         },
         Entry(356, L"SetupDiCallClassInstaller fail,error code is 0xe0000217!"), 1, 0, 0},
        {"full path again",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(
                 new Fail<win::GetFullPathNameW>(0, ERROR_INVALID_NAME, 1));
         },
         Entry(188, L"GetFullPathName fail,error code is 0x7b!"), 1, 1, 1},
        {"INF gone",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(
                 new Fail<win::GetFileAttributesW>(INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND));
         },
         Entry(201, L"GetFileAttributes fail,error code is 0x2!"), 1, 1, 1},
        {"newdev",
         [&](SimulatedDevices& s) {
             s.newdevLoads = false;
             return nullptr;
         },
         Entry(213, L"LoadLibrary fail,error code is 0x7e!"), 1, 1, 1},
        {"export",
         [&](SimulatedDevices& s) {
             s.newdevHasExport = false;
             return nullptr;
         },
         Entry(219, L"GetProcAddress fail,error code is 0x7f!"), 1, 1, 1},
        {"update",
         [&](SimulatedDevices& s) {
             s.updateSucceeds = FALSE;
             s.updateError = 0xE000022B;
             return nullptr;
         },
         Entry(227, L"UpdateFn fail,error code is 0xe000022b!"), 1, 1, 2},
    };
    for (const Case& c : cases) {
        LogDirectory caseLog;
        SimulatedDevices caseSim;
        std::shared_ptr<void> failure = c.arrange(caseSim);
        const int result = Install(L"ROOT\\Demo", InfPath().c_str());
        failure.reset();
        EXPECT_EQ(ResultFailed, result) << c.name;
        EXPECT_EQ(NewLog(c.entry), caseLog.Bytes()) << c.name;
        EXPECT_EQ(c.lists, caseSim.listsCreated) << c.name;
        EXPECT_TRUE(caseSim.Balanced()) << c.name;
        EXPECT_EQ(c.nodes, caseSim.devices.size()) << c.name;
        const int lines = static_cast<int>(std::count(printed.begin(), printed.end(), '\n'));
        EXPECT_EQ(c.messages, lines) << c.name << ": " << printed;
    }
}

// A full INF path of 260 characters or more does not fit the tool's buffer.
TEST_F(InstallRootDeviceTest, FullPathOf260OrMoreIsAFailure)
{
    std::wstring longPath = log.Path() + L"\\" + std::wstring(300, L'n') + L".inf";
    // What the platform answers for a path that needs a larger buffer: the
    // size it needs.
    Fail<win::GetFullPathNameW> tooLong(MAX_PATH, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(ResultFailed, Install(L"ROOT\\Demo", longPath.c_str()));
    EXPECT_EQ(NewLog(Entry(289, L"GetFullPathName fail,error code is 0xce!")), log.Bytes());
    EXPECT_TRUE(sim.calls.empty());
}

}  // namespace
