// The user interface is loaded only when a box is shown, from the system
// folder, once per run; nothing is shown where nobody can answer (/quiet, or
// an invisible window station), and the driver update is then told so.
#include <gtest/gtest.h>

#include "log_directory.h"
#include "procedures.h"
#include "setup_result.h"
#include "simulated_devices.h"
#include "warning_box.h"

#include <newdev.h>

namespace {

enum class Mode { Interactive, Quiet, InvisibleStation };

class UserInterfaceTest : public ::testing::Test {
protected:
    UserInterfaceTest() { WriteFileBytes(Inf(), "[Version]\r\n"); }
    std::wstring Inf() const { return log.Path() + L"\\demo.inf"; }
    void Set(Mode mode)
    {
        boxes.stationVisible = mode != Mode::InvisibleStation;
        if (mode == Mode::Quiet) {
            SetQuietMode();
        }
    }
    int Install()
    {
        CapturedStdout out;
        return RunInstall(L"ROOT\\Demo", Inf().c_str());
    }
    int Uninstall()
    {
        CapturedStdout out;
        return RunUninstall(L"ROOT\\Demo", L"Demo");
    }

    LogDirectory log;
    SimulatedDevices sim;
    RecordedBoxes boxes;
    Fail<win::RegOpenKeyExW> noService{ERROR_FILE_NOT_FOUND, kKeepLastError};
};

TEST_F(UserInterfaceTest, RunsWithoutABoxNeverLoadIt)
{
    EXPECT_EQ(ResultOk, Uninstall());  // no device
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    EXPECT_EQ(ResultOk, Uninstall());  // removed
    ReleaseUserInterface();
    EXPECT_EQ(0, boxes.loads);
    EXPECT_EQ(0, boxes.frees);
}

TEST_F(UserInterfaceTest, BoxesLoadItOnceFromTheSystemFolderAndTheEntryFreesIt)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    EXPECT_EQ(ResultOk, Install());
    EXPECT_EQ(ResultOk, Install());
    EXPECT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(1, boxes.loads);
    EXPECT_EQ(0, boxes.frees);
    ReleaseUserInterface();
    EXPECT_EQ(1, boxes.frees);
    EXPECT_EQ(std::vector<std::wstring>{L"user32.dll"}, boxes.libraryNames);
}

// Every box of both procedures, with nobody to answer it: the entries and
// results stay as they are, and no box is shown.
TEST_F(UserInterfaceTest, NobodyToAnswerSuppressesEveryBox)
{
    for (Mode mode : {Mode::Quiet, Mode::InvisibleStation}) {
        struct Case {
            bool install;
            bool present;
            BOOL restart;
            BOOL updates;
            int result;
            std::wstring entry;
        };
        const Case cases[] = {
            {true, true, FALSE, TRUE, 0, Entry(569, L"Install,But find device!")},
            {true, false, TRUE, TRUE, 1, Entry(585, L"Install Ok,But need reboot!")},
            {true, false, FALSE, FALSE, 2,
             Entry(227, L"UpdateFn fail,error code is 0x0!") +
                 Entry(578, L"Install driver unsuccessful!")},
            {false, true, FALSE, TRUE, 2,
             Entry(431, L"SetupDiSetClassInstallParams fail,error code is 0x5!") +
                 Entry(614, L"Uninstall fail!") + Entry(537, L"r.Open fail,error code is 0x2!") +
                 Entry(629, L"DisableMyService fail!")},
        };
        for (const Case& c : cases) {
            LogDirectory caseLog;
            SimulatedDevices caseSim;
            RecordedBoxes caseBoxes;
            caseBoxes.stationVisible = mode != Mode::InvisibleStation;
            if (mode == Mode::Quiet) {
                SetQuietMode();
            }
            if (c.present) {
                caseSim.Add(MultiSz({L"ROOT\\Demo"}));
            }
            caseSim.updateNeedsRestart = c.restart;
            caseSim.updateSucceeds = c.updates;
            Fail<win::SetupDiSetClassInstallParamsW> noRemoval(FALSE, ERROR_ACCESS_DENIED);
            WriteFileBytes(caseLog.Path() + L"\\demo.inf", "[Version]\r\n");
            const std::wstring inf = caseLog.Path() + L"\\demo.inf";
            int result;
            {
                CapturedStdout out;
                result = c.install ? RunInstall(L"ROOT\\Demo", inf.c_str())
                                   : RunUninstall(L"ROOT\\Demo", L"Demo");
            }
            EXPECT_EQ(c.result, result);
            EXPECT_TRUE(caseBoxes.boxes.empty());
            EXPECT_EQ(NewLog(c.entry), caseLog.Bytes());
            ReleaseUserInterface();
            // Quiet never looks; an invisible station is looked at once.
            EXPECT_EQ(mode == Mode::Quiet ? 0 : 1, caseBoxes.loads);
            EXPECT_EQ(caseBoxes.loads, caseBoxes.frees);
        }
    }
}

// Where nobody can answer, the platform must fail rather than ask.
TEST_F(UserInterfaceTest, DriverUpdateIsNonInteractiveWhereNobodyCanAnswer)
{
    struct Case {
        Mode mode;
        DWORD flags;
    };
    for (const Case& c : {Case{Mode::Interactive, INSTALLFLAG_FORCE},
                          Case{Mode::Quiet, INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE},
                          Case{Mode::InvisibleStation,
                               INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE}}) {
        LogDirectory caseLog;
        SimulatedDevices caseSim;
        RecordedBoxes caseBoxes;
        caseBoxes.stationVisible = c.mode != Mode::InvisibleStation;
        if (c.mode == Mode::Quiet) {
            SetQuietMode();
        }
        WriteFileBytes(caseLog.Path() + L"\\demo.inf", "[Version]\r\n");
        const std::wstring inf = caseLog.Path() + L"\\demo.inf";
        {
            CapturedStdout out;
            EXPECT_EQ(ResultOk, RunInstall(L"ROOT\\Demo", inf.c_str()));
        }
        EXPECT_EQ(c.flags, caseSim.updateFlags);
        EXPECT_TRUE(caseSim.Balanced());
    }
}

// Without the library no box can be shown; the run goes on unchanged.
TEST_F(UserInterfaceTest, LibraryThatCannotBeLoadedShowsNothing)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    Fail<win::LoadLibraryExW> load(nullptr, ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(ResultOk, Install());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(NewLog(Entry(569, L"Install,But find device!")), log.Bytes());
}

}  // namespace
