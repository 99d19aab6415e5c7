// The real unload.exe under Wine with the companion library missing, without
// its export, present, and slow. The fixture library writes down each load,
// call and unload, and whether a window of the process was visible then.
#include <gtest/gtest.h>

#include "log_directory.h"
#include "pinwheel_sandbox.h"
#include "watched_process.h"

namespace {

class UnloadTest : public ::testing::Test {
protected:
    UnloadTest()
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("unload-") + info->name();
        m_directory = FreshTestDirectory(std::wstring(name.begin(), name.end()));
        CopyFileW((BuildDirectory() + L"\\unload.exe").c_str(), Exe().c_str(), FALSE);
    }
    std::wstring Exe() const { return m_directory + L"\\unload.exe"; }
    void PlaceLibrary(const wchar_t* fixture)
    {
        std::wstring built = BuildDirectory() + L"\\" + fixture + L"\\Larkspur.dll";
        ASSERT_TRUE(CopyFileW(built.c_str(), (m_directory + L"\\Larkspur.dll").c_str(), FALSE));
    }
    WatchedRun Run(const std::vector<std::wstring>& arguments = {},
                   const std::wstring& environment = std::wstring())
    {
        WatchOptions options;
        options.directory = m_directory;
        options.environment = environment;
        WatchedRun run = RunWatched(Exe(), arguments, options);
        EXPECT_TRUE(run.started);
        EXPECT_FALSE(run.timedOut);
        return run;
    }
    std::string Events() const { return ReadFileBytes(m_directory + L"\\larkspur-events.txt"); }

    std::wstring m_directory;
};

TEST_F(UnloadTest, WithoutTheLibraryEndsAtOnceShowingNothing)
{
    WatchedRun run = Run();
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(0, run.visibleWindows);
    EXPECT_EQ("", run.out + run.err);
}

TEST_F(UnloadTest, LibraryWithoutTheExportIsLoadedAndFreedOnce)
{
    PlaceLibrary(L"larkspur_no_export");
    WatchedRun run = Run();
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("attach\ndetach free\n", Events());
    EXPECT_EQ(0, run.visibleWindows);
}

TEST_F(UnloadTest, CallsUnOpenUrlOnceWithAnyArgumentsAndNoWindow)
{
    PlaceLibrary(L"larkspur");
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{}, std::vector<std::wstring>{L"/quiet"},
          std::vector<std::wstring>{L"http://example.invalid/", L"two words", L""}}) {
        DeleteFileW((m_directory + L"\\larkspur-events.txt").c_str());
        WatchedRun run = Run(arguments);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ("attach\ncall visible=0\ndetach free\n", Events());
        EXPECT_EQ(0, run.visibleWindows);
        EXPECT_TRUE(run.boxes.empty());
    }
}

// The dialog never becomes visible, however long the routine takes: the
// fixture pumps messages for three seconds and looks again before it
// returns, and the watcher looks every 10 ms meanwhile.
TEST_F(UnloadTest, SlowRoutineStillShowsNoWindow)
{
    PlaceLibrary(L"larkspur");
    WatchedRun run = Run({}, L"LARKSPUR_DELAY_MS=3000");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("attach\ncall visible=0\nafter visible=0\ndetach free\n", Events());
    EXPECT_EQ(0, run.visibleWindows);
}

// The launcher takes the library from its own folder only: one in the
// current folder or on PATH, where anyone could have put it, is never
// loaded. The one beside it still is, whatever the current folder.
TEST_F(UnloadTest, LibraryOnlyFromItsOwnFolder)
{
    const std::wstring planted = FreshTestDirectory(L"unload-planted");
    ASSERT_TRUE(CopyFileW((BuildDirectory() + L"\\larkspur\\Larkspur.dll").c_str(),
                          (planted + L"\\Larkspur.dll").c_str(), FALSE));
    WatchOptions options;
    options.directory = planted;
    options.environment = L"PATH=" + planted;
    WatchedRun run = RunWatched(Exe(), {}, options);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ("", ReadFileBytes(planted + L"\\larkspur-events.txt"));

    PlaceLibrary(L"larkspur");
    run = RunWatched(Exe(), {}, options);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("attach\ncall visible=0\ndetach free\n", Events());
    EXPECT_EQ("", ReadFileBytes(planted + L"\\larkspur-events.txt"));
}

}  // namespace
