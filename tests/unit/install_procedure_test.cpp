// The install mode's outcomes: entry, box and result for each situation.
#include <gtest/gtest.h>

#include "log_directory.h"
#include "procedures.h"
#include "simulated_devices.h"

namespace {

const wchar_t kPresentBox[] = L"Please uninstall the previous version and run setup again!";
const wchar_t kRebootBox[] =
    L"Install driver success,but before running the main program you need to restart your "
    L"computer!";
const wchar_t kFailedBox[] =
    L"Install driver unsuccessful!Please uninstall this software and reboot computer,and run "
    L"setup again!";

class RunInstallTest : public ::testing::Test {
protected:
    RunInstallTest() { WriteFileBytes(Inf(), "[Version]\r\n"); }
    std::wstring Inf() const { return log.Path() + L"\\demo.inf"; }
    // Runs the procedure; what it printed is in `printed`.
    int Run()
    {
        CapturedStdout out;
        const int result = RunInstall(L"ROOT\\Demo", Inf().c_str());
        printed = out.Text();
        return result;
    }

    LogDirectory log;
    SimulatedDevices sim;
    RecordedBoxes boxes;
    std::string printed;
};

TEST_F(RunInstallTest, InstallsWhenNoDeviceIsPresent)
{
    sim.Add(MultiSz({L"ROOT\\Other"}));
    EXPECT_EQ(0, Run());
    EXPECT_EQ(2u, sim.devices.size());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_FALSE(log.LogExists());
    EXPECT_EQ(0u, printed.find("Install driver,please wait...Device node created.\r\n"));
    EXPECT_TRUE(sim.Balanced());
}

TEST_F(RunInstallTest, RefusesWhenADeviceCarriesTheIdInEitherList)
{
    for (bool compatible : {false, true}) {
        LogDirectory caseLog;
        SimulatedDevices caseSim;
        RecordedBoxes caseBoxes;
        if (compatible) {
            caseSim.Add(MultiSz({L"PCI\\X"}), MultiSz({L"root\\demo"}));
        } else {
            caseSim.Add(MultiSz({L"ROOT\\DEMO"}));
        }
        EXPECT_EQ(0, Run());
        EXPECT_EQ(NewLog(Entry(569, L"Install,But find device!")), caseLog.Bytes());
        ASSERT_EQ(1u, caseBoxes.boxes.size());
        const ShownBox& box = caseBoxes.boxes[0];
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(kPresentBox, box.text);
        EXPECT_EQ(L"Warning", box.caption);
        EXPECT_EQ(0x30u, box.type);
        EXPECT_EQ(1u, caseSim.devices.size());
        EXPECT_EQ(0, caseSim.listsCreated);
        EXPECT_EQ(0, caseSim.librariesLoaded);
    }
}

TEST_F(RunInstallTest, RestartNeededIsLoggedAndShown)
{
    sim.updateNeedsRestart = TRUE;
    EXPECT_EQ(1, Run());
    EXPECT_EQ(NewLog(Entry(585, L"Install Ok,But need reboot!")), log.Bytes());
    EXPECT_EQ(std::vector<std::wstring>{kRebootBox}, boxes.Texts());
}

TEST_F(RunInstallTest, FailedInstallIsLoggedAfterItsCauseAndShown)
{
    sim.updateSucceeds = FALSE;
    sim.updateError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(2, Run());
    EXPECT_EQ(NewLog(Entry(227, L"UpdateFn fail,error code is 0x5!") +
                     Entry(578, L"Install driver unsuccessful!")),
              log.Bytes());
    EXPECT_EQ(std::vector<std::wstring>{kFailedBox}, boxes.Texts());
    // The registered node stays for the uninstall to remove.
    EXPECT_EQ(1u, sim.devices.size());
}

TEST_F(RunInstallTest, UnobtainableDeviceListEndsWithoutBoxOrInstall)
{
    Fail<win::SetupDiGetClassDevsExW> fail(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(2, Run());
    EXPECT_EQ(NewLog(Entry(88, L"SetupDiGetClassDevsEx fail,error code is 0x5!") +
                     Entry(142, L"EnumerateDevices fail,error code is 0x5!")),
              log.Bytes());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(0, sim.listsCreated);
    EXPECT_EQ("Install driver,please wait...", printed);
}

}  // namespace
