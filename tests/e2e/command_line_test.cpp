// The real Pinwheel.exe with bad and odd command lines, its log file and its
// manifest.
#include <gtest/gtest.h>

#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const std::wstring kInvalid = L"file:.\\Pinwheel,line 554 Invalid Parameter!\r\n";

TEST(CommandLineTest, FewerThanThreeArgumentsLogsEntry554AndExits3)
{
    PinwheelSandbox sandbox;
    for (auto arguments : {std::vector<std::wstring>{}, std::vector<std::wstring>{L"install"},
                           std::vector<std::wstring>{L"install", L"ROOT\\X"}}) {
        DeleteFileW(sandbox.LogPath().c_str());
        PinwheelResult run = sandbox.Run(arguments);
        EXPECT_EQ(3u, run.exitCode);
        EXPECT_EQ(NewLog(kInvalid), run.log);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("", run.err);
        EXPECT_TRUE(run.boxes.empty());
    }
}

TEST(CommandLineTest, SecondRunAppendsWithoutASecondMark)
{
    PinwheelSandbox sandbox;
    sandbox.Run({L"install"});
    PinwheelResult run = sandbox.Run({L"uninstall", L"x"});
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_EQ(NewLog(kInvalid + kInvalid), run.log);
}

TEST(CommandLineTest, ExistingEmptyLogGetsTheEntryAtOffsetZero)
{
    PinwheelSandbox sandbox;
    WriteFileBytes(sandbox.LogPath(), "");
    PinwheelResult run = sandbox.Run({});
    EXPECT_EQ(Utf16(kInvalid), run.log);
}

TEST(CommandLineTest, UnknownModeWordsExit3WithoutTrace)
{
    PinwheelSandbox sandbox;
    for (const wchar_t* mode : {L"", L"install ", L" install", L"/install", L"instal", L"uninstal",
                                L"INSTALLX", L"-uninstall"}) {
        PinwheelResult run = sandbox.Run({mode, L"ROOT\\X", L"x.inf"});
        EXPECT_EQ(3u, run.exitCode) << "mode [" << std::string(mode, mode + lstrlenW(mode)) << "]";
        EXPECT_EQ("", run.out);
        EXPECT_EQ("", run.err);
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ("", run.log);
    }
}

// A log that another process holds open without sharing takes no entry, and
// the run's result does not change. (A read-only log cannot be shown under
// Wine as root, where read-only files stay writable.)
TEST(CommandLineTest, LogHeldByAnotherProcessChangesNothingButTheLog)
{
    PinwheelSandbox sandbox;
    WriteFileBytes(sandbox.LogPath(), "\xFF\xFE");
    HANDLE holder = CreateFileW(sandbox.LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    PinwheelResult run = sandbox.Run({L"install"});
    CloseHandle(holder);
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_EQ(std::string("\xFF\xFE"), ReadFileBytes(sandbox.LogPath()));
}

TEST(CommandLineTest, ManifestAsksForAdministratorRights)
{
    std::wstring exe = BuildDirectory() + L"\\Pinwheel.exe";
    HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(LoadResource(image, found)));
    std::string manifest(data, SizeofResource(image, found));
    EXPECT_NE(std::string::npos,
              manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" "
                            "uiAccess=\"false\"/>"));
    FreeLibrary(image);
}

}  // namespace
