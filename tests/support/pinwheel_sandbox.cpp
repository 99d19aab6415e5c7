#include "pinwheel_sandbox.h"

#include <gtest/gtest.h>

#include "device_state.h"
#include "log_directory.h"

std::wstring BuildDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L'\\'));
}

PinwheelSandbox::PinwheelSandbox()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = L"e2e";
    if (info != nullptr) {
        std::string test = std::string(info->test_suite_name()) + "." + info->name();
        name.assign(test.begin(), test.end());
        for (wchar_t& c : name) {
            if (c == L'/')
                c = L'_';
        }
    }
    m_directory = FreshTestDirectory(name);
    std::wstring built = BuildDirectory() + L"\\Pinwheel.exe";
    EXPECT_TRUE(CopyFileW(built.c_str(), Exe().c_str(), FALSE)) << GetLastError();
}

PinwheelResult PinwheelSandbox::Run(const std::vector<std::wstring>& arguments,
                                    const std::wstring& currentDirectory, bool answerBoxes) const
{
    WatchOptions options;
    options.directory = currentDirectory.empty() ? m_directory : currentDirectory;
    options.answerBoxes = answerBoxes;
    if (!answerBoxes) {
        // Nobody answers: a box would hold the run until this ends it.
        options.timeoutMs = 30000;
    }
    PinwheelResult result;
    static_cast<WatchedRun&>(result) = RunWatched(Exe(), arguments, options);
    EXPECT_TRUE(result.started) << "cannot start Pinwheel.exe";
    EXPECT_FALSE(result.timedOut);
    result.log = ReadFileBytes(LogPath());
    return result;
}

std::vector<PinwheelResult> PinwheelSandbox::RunTogether(
    const std::vector<std::vector<std::wstring>>& runs) const
{
    WatchOptions options;
    options.directory = m_directory;
    std::vector<WatchedRun> watched = RunWatchedTogether(Exe(), runs, options);
    const std::string log = ReadFileBytes(LogPath());
    std::vector<PinwheelResult> results;
    for (const WatchedRun& run : watched) {
        PinwheelResult result;
        static_cast<WatchedRun&>(result) = run;
        EXPECT_TRUE(result.started) << "cannot start Pinwheel.exe";
        EXPECT_FALSE(result.timedOut);
        result.log = log;
        results.push_back(result);
    }
    return results;
}

DriverPackage InstalledPackage(const PinwheelSandbox& sandbox, const std::wstring& stem)
{
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), stem);
    EXPECT_EQ(0u,
              sandbox.Run({L"install", package.hardwareId, package.infPath, L"/quiet"}).exitCode);
    DeleteFileW(sandbox.LogPath().c_str());
    return package;
}
