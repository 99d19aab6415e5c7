// The uninstall mode's outcomes: entry, box, result and the service step on
// every path.
#include <gtest/gtest.h>

#include "log_directory.h"
#include "procedures.h"
#include "simulated_devices.h"

namespace {

int g_disables;
LSTATUS WINAPI ServiceKeyOpens(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY key)
{
    ++g_disables;
    *key = reinterpret_cast<HKEY>(0x5EC);
    return ERROR_SUCCESS;
}
LSTATUS WINAPI ValueWritten(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD)
{
    return ERROR_SUCCESS;
}
LSTATUS WINAPI KeyClosed(HKEY)
{
    return ERROR_SUCCESS;
}

class RunUninstallTest : public ::testing::Test {
protected:
    RunUninstallTest() { g_disables = 0; }
    int Run()
    {
        CapturedStdout out;
        const int result = RunUninstall(L"ROOT\\Demo", L"DemoService");
        printed = out.Text();
        return result;
    }

    LogDirectory log;
    SimulatedDevices sim;
    RecordedBoxes boxes;
    // The service key, simulated here; the real one is tested on its own.
    Override<win::RegOpenKeyExW> open{&ServiceKeyOpens};
    Override<win::RegSetValueExW> set{&ValueWritten};
    Override<win::RegCloseKey> close{&KeyClosed};
    std::string printed;
};

const std::wstring kFailEntry = Entry(614, L"Uninstall fail!");
const std::vector<std::wstring> kFailBox = {L"Uninstall driver fail!"};

TEST_F(RunUninstallTest, NoMatchingDeviceLogs621AndStillDisablesTheService)
{
    sim.Add(MultiSz({L"ROOT\\Other"}));
    EXPECT_EQ(0, Run());
    EXPECT_EQ("Uninstall driver,please wait...", printed);
    EXPECT_EQ(NewLog(Entry(621, L"Uninstall Ok,But no device!")), log.Bytes());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(1, g_disables);
    EXPECT_EQ(1, sim.setsBuilt);
}

TEST_F(RunUninstallTest, RemovesEveryMatchingDevice)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    sim.Add(MultiSz({L"ROOT\\Other"}));
    sim.Add(MultiSz({L"X"}), MultiSz({L"root\\demo"}));
    EXPECT_EQ(0, Run());
    EXPECT_TRUE(sim.devices[0].removed);
    EXPECT_FALSE(sim.devices[1].removed);
    EXPECT_TRUE(sim.devices[2].removed);
    EXPECT_FALSE(log.LogExists());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(1, g_disables);
    EXPECT_TRUE(sim.Balanced());
}

TEST_F(RunUninstallTest, RestartNeededGivesOneWithoutABox)
{
    sim.Add(MultiSz({L"ROOT\\Demo"})).flagsAfterRemove = DI_NEEDRESTART;
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    EXPECT_EQ(1, Run());
    EXPECT_FALSE(log.LogExists());
    EXPECT_TRUE(boxes.boxes.empty());
}

// A pass that removes nothing has failed, and says so in its exit code too.
TEST_F(RunUninstallTest, EveryRemovalFailingIsAFailure)
{
    sim.Add(MultiSz({L"ROOT\\Demo"})).removable = false;
    sim.Add(MultiSz({L"ROOT\\Demo"})).removable = false;
    EXPECT_EQ(2, Run());
    const std::wstring removal =
        Entry(431, L"SetupDiSetClassInstallParams fail,error code is 0x5!");
    EXPECT_EQ(NewLog(removal + removal + kFailEntry), log.Bytes());
    EXPECT_EQ(kFailBox, boxes.Texts());
    EXPECT_EQ(1, g_disables);
}

TEST_F(RunUninstallTest, DeviceVanishingBetweenThePassesIsAFailure)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    sim.beforeBuild = [this](int build) {
        if (build == 2)
            sim.devices[0].present = false;
    };
    EXPECT_EQ(2, Run());
    EXPECT_EQ(NewLog(kFailEntry), log.Bytes());
    EXPECT_EQ(kFailBox, boxes.Texts());
    EXPECT_EQ(1, g_disables);
}

TEST_F(RunUninstallTest, UnobtainableDeviceListEndsWithoutBoxButDisablesTheService)
{
    Fail<win::SetupDiGetClassDevsExW> fail(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(2, Run());
    EXPECT_EQ(NewLog(Entry(88, L"SetupDiGetClassDevsEx fail,error code is 0x5!") +
                     Entry(142, L"EnumerateDevices fail,error code is 0x5!")),
              log.Bytes());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(1, g_disables);
}

TEST_F(RunUninstallTest, SecondPassUnobtainableKeepsItsResult)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    Fail<win::SetupDiGetClassDevsExW> fail(INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(2, Run());
    EXPECT_EQ(NewLog(Entry(88, L"SetupDiGetClassDevsEx fail,error code is 0x8!") +
                     Entry(142, L"EnumerateDevices fail,error code is 0x8!") + kFailEntry),
              log.Bytes());
    EXPECT_EQ(kFailBox, boxes.Texts());
}

TEST_F(RunUninstallTest, ServiceStepFailureIsLoggedAndChangesNoResult)
{
    sim.Add(MultiSz({L"ROOT\\Demo"})).flagsAfterRemove = DI_NEEDREBOOT;
    Fail<win::RegOpenKeyExW> refuse(ERROR_FILE_NOT_FOUND, kKeepLastError);
    EXPECT_EQ(1, Run());
    EXPECT_EQ(NewLog(Entry(537, L"r.Open fail,error code is 0x2!") +
                     Entry(629, L"DisableMyService fail!")),
              log.Bytes());
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
