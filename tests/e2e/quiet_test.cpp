// Unattended runs of the real Pinwheel.exe under Wine: with /quiet nobody is
// asked anything, so a silent installer never waits on a box. Nobody answers
// boxes in these runs: one that showed a box would not end by itself.
#include <gtest/gtest.h>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const bool kNobodyAnswers = false;

TEST(QuietTest, RefusedReinstallEndsByItselfWithItsEntry)
{
    PinwheelSandbox sandbox;
    DriverPackage package = InstalledPackage(sandbox, L"Quiet");

    PinwheelResult run = sandbox.Run({L"install", package.hardwareId, package.infPath, L"/QUIET"},
                                     std::wstring(), kNobodyAnswers);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(NewLog(Entry(569, L"Install,But find device!")), run.log);
    EXPECT_EQ(1u, DevicesWithHardwareId(package.hardwareId).size());
}

// Wine cannot remove devices (its class-install-parameters call is a stub),
// so the uninstall of a present device fails: with the switch in fifth place
// it ends by itself, exit 2 and entry 614, and the service is disabled.
TEST(QuietTest, FailedUninstallEndsByItselfWithTheSwitchInFifthPlace)
{
    PinwheelSandbox sandbox;
    DriverPackage package = InstalledPackage(sandbox, L"QuietGone");

    PinwheelResult run =
        sandbox.Run({L"uninstall", package.hardwareId, package.service, L"extra", L"/Quiet"},
                    std::wstring(), kNobodyAnswers);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(NewLog(Entry(431, L"SetupDiSetClassInstallParams fail,error code is 0xd!") +
                     Entry(614, L"Uninstall fail!")),
              run.log);
    DWORD start = 0;
    EXPECT_TRUE(ReadServiceDword(package.service, L"Start", &start));
    EXPECT_EQ(4u, start);
}

// Only the whole word is the switch: /q, or /quiet with more after it,
// changes nothing, and the box appears as before.
TEST(QuietTest, OtherExtraArgumentsStillShowTheBox)
{
    PinwheelSandbox sandbox;
    DriverPackage package = InstalledPackage(sandbox, L"NotQuiet");
    for (const wchar_t* extra : {L"/q", L"/quiet:yes", L"quiet"}) {
        DeleteFileW(sandbox.LogPath().c_str());
        PinwheelResult run = sandbox.Run({L"install", package.hardwareId, package.infPath, extra});
        EXPECT_EQ(0u, run.exitCode);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ(L"Please uninstall the previous version and run setup again!",
                  run.boxes[0].text);
        EXPECT_EQ(NewLog(Entry(569, L"Install,But find device!")), run.log);
    }
}

// A run on a window station that nobody sees (as a service's, or SYSTEM's in
// a deployment) behaves as if /quiet were given: nothing is asked of anyone.
// A station made with CreateWindowStationW is not visible.
TEST(QuietTest, InvisibleWindowStationShowsNoBox)
{
    PinwheelSandbox sandbox;
    DriverPackage package = InstalledPackage(sandbox, L"Hidden");

    const std::wstring name = UniqueName(L"PwStation");
    HWINSTA station = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    ASSERT_NE(nullptr, station) << GetLastError();
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed));
    EXPECT_EQ(0u, flags.dwFlags & WSF_VISIBLE);
    // Its desktop is made from inside the station.
    HWINSTA ours = GetProcessWindowStation();
    ASSERT_TRUE(SetProcessWindowStation(station));
    HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(ours);
    ASSERT_NE(nullptr, desktop) << GetLastError();

    WatchOptions options;
    options.directory = sandbox.Directory();
    options.answerBoxes = false;
    options.timeoutMs = 30000;
    options.desktop = name + L"\\Default";
    WatchedRun run =
        RunWatched(sandbox.Exe(), {L"install", package.hardwareId, package.infPath}, options);
    EXPECT_FALSE(run.timedOut) << "the run waited on a box nobody can see";
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(NewLog(Entry(569, L"Install,But find device!")), ReadFileBytes(sandbox.LogPath()));
    CloseDesktop(desktop);
    CloseWindowStation(station);
}

}  // namespace
