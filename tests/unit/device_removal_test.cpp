// The removal callback against simulated device services: the request it
// attaches, the outcome flags, and every failure with its exact log bytes.
#include <gtest/gtest.h>

#include "devices/device_enumeration.h"
#include "devices/device_removal.h"
#include "log_directory.h"
#include "setup_result.h"
#include "simulated_devices.h"

namespace {

class RemoveMatchingDeviceTest : public ::testing::Test {
protected:
    RemoveOutcome Walk()
    {
        RemoveOutcome outcome = {0, 0};
        walkResult = EnumerateDevices(L"ROOT\\Demo", &outcome, &RemoveMatchingDevice);
        return outcome;
    }
    size_t Removed() const
    {
        size_t removed = 0;
        for (const SimDevice& device : sim.devices) {
            removed += device.removed ? 1 : 0;
        }
        return removed;
    }

    LogDirectory log;
    SimulatedDevices sim;
    int walkResult = -1;
};

TEST_F(RemoveMatchingDeviceTest, RemovesGloballyWithTheExpectedCalls)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    RemoveOutcome outcome = Walk();
    EXPECT_EQ(0, walkResult);
    EXPECT_EQ(1, outcome.removed);
    EXPECT_EQ(0, outcome.rebootNeeded);
    const std::vector<std::string> removal(sim.calls.begin() + 5, sim.calls.end() - 2);
    const std::vector<std::string> expected = {
        "SetupDiGetDeviceInfoListDetailW",
        "CM_Get_Device_ID_ExW(device=0,length=200,flags=0,machine=null)",
        "SetupDiSetClassInstallParamsW(device=0,header=" +
            std::to_string(sizeof(SP_CLASSINSTALL_HEADER)) + ",function=5,scope=1,profile=0,size=" +
            std::to_string(sizeof(SP_REMOVEDEVICE_PARAMS)) + ")",
        "SetupDiCallClassInstaller(function=5)",
        "SetupDiGetDeviceInstallParamsW(device=0)",
    };
    EXPECT_EQ(expected, removal);
    EXPECT_EQ(1u, Removed());
    EXPECT_TRUE(sim.Balanced());
    EXPECT_FALSE(log.LogExists());
}

TEST_F(RemoveMatchingDeviceTest, FirstDeviceFailingDoesNotStopTheSecond)
{
    sim.Add(MultiSz({L"ROOT\\Demo"})).removable = false;
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    RemoveOutcome outcome = Walk();
    EXPECT_EQ(0, walkResult);
    EXPECT_EQ(1, outcome.removed);
    EXPECT_FALSE(sim.devices[0].removed);
    EXPECT_TRUE(sim.devices[1].removed);
    EXPECT_EQ(NewLog(Entry(431, L"SetupDiSetClassInstallParams fail,error code is 0x5!")),
              log.Bytes());
}

TEST_F(RemoveMatchingDeviceTest, RestartFlagsAreOredOverDevices)
{
    struct Case {
        DWORD first;
        DWORD second;
        int reboot;
    } cases[] = {
        {DI_NEEDRESTART, 0, 1},      {0, DI_NEEDREBOOT, 1}, {0, 0, 0},
        {DI_NEEDREBOOT | 0x4, 0, 1}, {0x7F | 0x200, 0, 0},  // other flags are no restart
    };
    for (const Case& c : cases) {
        SimulatedDevices local;
        local.Add(MultiSz({L"ROOT\\Demo"})).flagsAfterRemove = c.first;
        local.Add(MultiSz({L"ROOT\\Demo"})).flagsAfterRemove = c.second;
        RemoveOutcome outcome = Walk();
        EXPECT_EQ(1, outcome.removed);
        EXPECT_EQ(c.reboot, outcome.rebootNeeded) << c.first << " " << c.second;
    }
}

TEST_F(RemoveMatchingDeviceTest, UnreadableInstallParamsCountAsRemovedWithoutRestart)
{
    SimDevice& device = sim.Add(MultiSz({L"ROOT\\Demo"}));
    device.flagsAfterRemove = DI_NEEDREBOOT;
    device.installParamsReadable = false;
    RemoveOutcome outcome = Walk();
    EXPECT_EQ(1, outcome.removed);
    EXPECT_EQ(0, outcome.rebootNeeded);
    EXPECT_FALSE(log.LogExists());
}

// Each failing step leaves the device and the outcome alone, logs one entry
// and lets the walk go on.
TEST_F(RemoveMatchingDeviceTest, EveryFailureSiteLogsAndLeavesTheDevice)
{
    struct Case {
        const char* name;
        std::function<std::shared_ptr<void>(SimulatedDevices&)> arrange;
        std::wstring entry;
    };
    const Case cases[] = {
        {"list details",
         [&](SimulatedDevices&) {
             // The walk's own read passes; the callback's fails.
             return std::shared_ptr<void>(
                 new Fail<win::SetupDiGetDeviceInfoListDetailW>(FALSE, ERROR_INVALID_HANDLE, 1));
         },
         Entry(420, L"SetupDiGetDeviceInfoListDetail fail,error code is 0x6!")},
        {"instance ID",
         [&](SimulatedDevices& s) {
             s.devices[0].instanceIdReadable = false;
             return nullptr;
         },
         Entry(420, L"SetupDiGetDeviceInfoListDetail fail,error code is 0xd!")},
        {"removal request",
         [&](SimulatedDevices&) {
             return std::shared_ptr<void>(
                 new Fail<win::SetupDiSetClassInstallParamsW>(FALSE, ERROR_INVALID_PARAMETER));
         },
         Entry(431, L"SetupDiSetClassInstallParams fail,error code is 0x57!")},
        {"class installer",
         [&](SimulatedDevices& s) {
             s.devices[0].removable = false;
             return nullptr;
         },
         Entry(431, L"SetupDiSetClassInstallParams fail,error code is 0x5!")},
    };
    for (const Case& c : cases) {
        LogDirectory caseLog;
        SimulatedDevices caseSim;
        caseSim.Add(MultiSz({L"ROOT\\Demo"})).flagsAfterRemove = DI_NEEDREBOOT;
        std::shared_ptr<void> failure = c.arrange(caseSim);
        RemoveOutcome outcome = Walk();
        failure.reset();
        EXPECT_EQ(0, walkResult) << c.name;
        EXPECT_EQ(0, outcome.removed) << c.name;
        EXPECT_EQ(0, outcome.rebootNeeded) << c.name;
        EXPECT_FALSE(caseSim.devices[0].removed) << c.name;
        EXPECT_EQ(NewLog(c.entry), caseLog.Bytes()) << c.name;
        EXPECT_TRUE(caseSim.Balanced()) << c.name;
    }
}

}  // namespace
