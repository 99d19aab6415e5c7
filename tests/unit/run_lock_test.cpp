// The machine-wide lock around the device work: how long it waits, what a
// failure logs, and that both procedures let it go before any box.
#include <gtest/gtest.h>

#include "log_directory.h"
#include "procedures.h"
#include "run_lock.h"
#include "setup_result.h"
#include "simulated_devices.h"

namespace {

// Whether the calling thread owns the lock now. Asked of the kernel rather
// than by waiting from another thread, which would also see locks held by
// other test processes running at the same time.
bool OwnedHere()
{
    struct MutantBasicInformation {
        LONG currentCount;
        BOOLEAN ownedByCaller;
        BOOLEAN abandonedState;
    };
    typedef LONG(NTAPI * QueryMutantFn)(HANDLE, int, void*, ULONG, ULONG*);
    static const QueryMutantFn s_query = reinterpret_cast<QueryMutantFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryMutant")));
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTANT_QUERY_STATE, FALSE, CRunLock::kName);
    if (mutex == nullptr) {
        // Nobody has it open: nobody holds it.
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
        return false;
    }
    if (s_query == nullptr) {
        ADD_FAILURE() << "cannot ask about the lock";
        CloseHandle(mutex);
        return false;
    }
    MutantBasicInformation information = {};
    const LONG status = s_query(mutex, 0 /* MutantBasicInformation */, &information,
                                sizeof(information), nullptr);
    CloseHandle(mutex);
    EXPECT_EQ(0, status);
    return information.ownedByCaller != 0;
}

TEST(RunLockTest, WaitsBoundedAndLogsEachWayOfNotGettingIt)
{
    struct Case {
        DWORD wait;
        DWORD error;
        std::wstring entry;
    };
    const Case cases[] = {
        {WAIT_TIMEOUT, 0, Entry(655, L"Another setup is still running!")},
        {WAIT_FAILED, ERROR_INVALID_HANDLE,
         Entry(647, L"WaitForSingleObject fail,error code is 0x6!")},
    };
    for (const Case& c : cases) {
        LogDirectory log;
        Fail<win::WaitForSingleObject> result(c.wait, c.error);
        Fail<win::ReleaseMutex> release(FALSE, 0, 100);
        {
            CRunLock lock;
            EXPECT_EQ(ResultFailed, lock.Acquire());
        }
        EXPECT_EQ(NewLog(c.entry), log.Bytes());
        EXPECT_EQ(0, release.Calls()) << "released a lock it never held";
    }
}

TEST(RunLockTest, WaitIsFiveMinutesAndAnAbandonedLockIsTakenOver)
{
    LogDirectory log;
    static DWORD s_timeout;
    Override<win::WaitForSingleObject> wait([](HANDLE, DWORD timeout) -> DWORD {
        s_timeout = timeout;
        return WAIT_ABANDONED;
    });
    Fail<win::ReleaseMutex> release(TRUE, 0);
    Fail<win::CloseHandle> close(TRUE, 0, 100);
    {
        CRunLock lock;
        EXPECT_EQ(ResultOk, lock.Acquire());
        EXPECT_EQ(0, release.Calls());
    }
    EXPECT_EQ(5u * 60 * 1000, s_timeout);
    EXPECT_EQ(1, release.Calls());
    EXPECT_EQ(1, close.Calls());
    EXPECT_FALSE(log.LogExists());
}

TEST(RunLockTest, MutexThatCannotBeMadeIsLogged)
{
    LogDirectory log;
    Fail<win::CreateMutexW> create(nullptr, ERROR_ACCESS_DENIED);
    Fail<win::WaitForSingleObject> wait(WAIT_FAILED, 0, 100);
    CRunLock lock;
    EXPECT_EQ(ResultFailed, lock.Acquire());
    EXPECT_EQ(0, wait.Calls());
    EXPECT_EQ(NewLog(Entry(640, L"CreateMutex fail,error code is 0x5!")), log.Bytes());
}

// Without its access rules the lock still works between runs of one account.
TEST(RunLockTest, UnconvertibleAccessRulesFallBackToDefaultSecurity)
{
    LogDirectory log;
    static bool s_withAttributes = true;
    Fail<win::ConvertStringSecurityDescriptorToSecurityDescriptorW> rules(FALSE,
                                                                          ERROR_INVALID_PARAMETER);
    Override<win::CreateMutexW> create(
        [](LPSECURITY_ATTRIBUTES attributes, BOOL owner, LPCWSTR name) -> HANDLE {
            s_withAttributes = attributes != nullptr;
            return ::CreateMutexW(nullptr, owner, name);
        });
    CRunLock lock;
    EXPECT_EQ(ResultOk, lock.Acquire());
    EXPECT_FALSE(s_withAttributes);
    EXPECT_FALSE(log.LogExists());
}

// Lock failures end the device work like a failed device list: exit code 2,
// no box; the uninstall still disables the service.
TEST(RunLockTest, ProceduresEndWithoutDeviceWorkWhenTheLockIsNotHad)
{
    for (bool install : {true, false}) {
        LogDirectory log;
        SimulatedDevices sim;
        RecordedBoxes boxes;
        Fail<win::WaitForSingleObject> wait(WAIT_TIMEOUT, 0);
        Fail<win::RegOpenKeyExW> open(ERROR_FILE_NOT_FOUND, kKeepLastError);
        CapturedStdout out;
        EXPECT_EQ(ResultFailed, install ? RunInstall(L"ROOT\\Demo", L"demo.inf")
                                        : RunUninstall(L"ROOT\\Demo", L"Demo"));
        out.Text();
        EXPECT_EQ(0, sim.setsBuilt);
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_EQ(install ? 0 : 1, open.Calls());
        EXPECT_EQ(NewLog(Entry(655, L"Another setup is still running!") +
                         (install ? L"" : Entry(537, L"r.Open fail,error code is 0x2!") +
                                              Entry(629, L"DisableMyService fail!"))),
                  log.Bytes());
    }
}

// A box that waits for its user must not keep every other run waiting.
TEST(RunLockTest, NoBoxIsShownWhileTheLockIsHeld)
{
    struct Case {
        bool install;
        bool present;
        BOOL restart;
        BOOL updates;
        bool removable;
    };
    const Case cases[] = {
        {true, true, FALSE, TRUE, true},    // refused: a device is present
        {true, false, TRUE, TRUE, true},    // installed, restart needed
        {true, false, FALSE, FALSE, true},  // install failed
        {false, true, FALSE, TRUE, false},  // removal failed
    };
    for (const Case& c : cases) {
        LogDirectory log;
        SimulatedDevices sim;
        RecordedBoxes boxes;
        if (c.present) {
            sim.Add(MultiSz({L"ROOT\\Demo"})).removable = c.removable;
        }
        sim.updateNeedsRestart = c.restart;
        sim.updateSucceeds = c.updates;
        int heldDuringBox = -1;
        boxes.onBox = [&heldDuringBox] { heldDuringBox = OwnedHere() ? 1 : 0; };
        WriteFileBytes(log.Path() + L"\\demo.inf", "[Version]\r\n");
        const std::wstring inf = log.Path() + L"\\demo.inf";
        CapturedStdout out;
        c.install ? RunInstall(L"ROOT\\Demo", inf.c_str()) : RunUninstall(L"ROOT\\Demo", L"Demo");
        out.Text();
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(0, heldDuringBox);
        EXPECT_FALSE(OwnedHere());
    }
}

// While the device work runs, the lock is held.
TEST(RunLockTest, DeviceWorkRunsUnderTheLock)
{
    LogDirectory log;
    SimulatedDevices sim;
    RecordedBoxes boxes;
    std::vector<bool> held;
    sim.beforeBuild = [&held](int) { held.push_back(OwnedHere()); };
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    Fail<win::RegOpenKeyExW> open(ERROR_FILE_NOT_FOUND, kKeepLastError);
    CapturedStdout out;
    EXPECT_EQ(ResultOk, RunUninstall(L"ROOT\\Demo", L"Demo"));
    out.Text();
    EXPECT_EQ((std::vector<bool>{true, true}), held);
    EXPECT_FALSE(OwnedHere());
}

}  // namespace
