// Runs of the real Pinwheel.exe started at the same moment under Wine, as
// installers and deployment tools start them: the machine-wide lock keeps
// their device work apart, and the one log gets every entry whole.
#include <gtest/gtest.h>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const int kRuns = 8;

TEST(ConcurrentRunsTest, InstallsOfOneIdLeaveExactlyOneNode)
{
    for (int round = 0; round < 3; ++round) {
        PinwheelSandbox sandbox;
        DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Together");
        std::vector<PinwheelResult> results = sandbox.RunTogether(
            std::vector<std::vector<std::wstring>>(
                kRuns, {L"install", package.hardwareId, package.infPath}));

        int installed = 0;
        for (const PinwheelResult& run : results) {
            EXPECT_EQ(0u, run.exitCode);
            if (run.boxes.empty()) {
                ++installed;
                continue;
            }
            ASSERT_EQ(1u, run.boxes.size());
            EXPECT_EQ(L"Please uninstall the previous version and run setup again!",
                      run.boxes[0].text);
        }
        EXPECT_EQ(1, installed) << "round " << round;
        EXPECT_EQ(1u, DevicesWithHardwareId(package.hardwareId).size()) << "round " << round;

        // Every refusal is in the log, each entry whole.
        std::vector<std::wstring> entries;
        EXPECT_TRUE(DecodeLog(results[0].log, &entries));
        EXPECT_EQ(std::vector<std::wstring>(kRuns - 1,
                                            L"file:.\\Pinwheel,line 569 Install,But find device!"),
                  entries);
    }
}

// Runs that log at the same moment neither lose nor tear each other's
// entries. Only the run that made the file marks it, and only while it is
// empty: the mark, if there, is the first thing in it.
TEST(ConcurrentRunsTest, SimultaneousUsageErrorsGiveOneWholeEntryEach)
{
    for (int round = 0; round < 3; ++round) {
        PinwheelSandbox sandbox;
        std::vector<PinwheelResult> results =
            sandbox.RunTogether(std::vector<std::vector<std::wstring>>(kRuns, {L"install", L"x"}));
        for (const PinwheelResult& run : results) {
            EXPECT_EQ(3u, run.exitCode);
        }
        std::vector<std::wstring> entries;
        EXPECT_TRUE(DecodeLog(results[0].log, &entries));
        EXPECT_EQ(std::vector<std::wstring>(kRuns,
                                            L"file:.\\Pinwheel,line 554 Invalid Parameter!"),
                  entries)
            << "round " << round;
    }
}

// A box that waits for its user holds neither the devices nor the log: a
// run started while another's box is up ends on its own and logs.
TEST(ConcurrentRunsTest, ABoxWaitingForItsUserStallsNobody)
{
    PinwheelSandbox sandbox;
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Waiting");
    ASSERT_EQ(0u, sandbox.Run({L"install", package.hardwareId, package.infPath}).exitCode);
    DeleteFileW(sandbox.LogPath().c_str());

    PinwheelResult quiet;
    WatchOptions options;
    options.directory = sandbox.Directory();
    options.onBox = [&](const Box&) {
        // The first run's refusal box is up and not yet answered.
        quiet = sandbox.Run({L"install", package.hardwareId, package.infPath, L"/quiet"});
    };
    WatchedRun waiting =
        RunWatched(sandbox.Exe(), {L"install", package.hardwareId, package.infPath}, options);
    EXPECT_EQ(0u, waiting.exitCode);
    ASSERT_EQ(1u, waiting.boxes.size());
    EXPECT_EQ(0u, quiet.exitCode);
    EXPECT_FALSE(quiet.timedOut);
    EXPECT_TRUE(quiet.boxes.empty());
    EXPECT_EQ(NewLog(Entry(569, L"Install,But find device!") +
                     Entry(569, L"Install,But find device!")),
              ReadFileBytes(sandbox.LogPath()));
}

}  // namespace
