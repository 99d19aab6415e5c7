// The failure log: its bytes on disk, its one attempt per run and its silent
// failures. Each test gets its own folder as the executable's folder.
#include <gtest/gtest.h>

#include "diagnostics/detail_log.h"
#include "log_directory.h"

namespace {

using DetailLogTest = ::testing::Test;

TEST_F(DetailLogTest, FirstEntryCreatesTheFileWithTheMarkAndLaterEntriesFollow)
{
    LogDirectory log;
    LogFailure(554, L"Invalid Parameter!");
    EXPECT_EQ(NewLog(Entry(554, L"Invalid Parameter!")), log.Bytes());
    LogFailure(88, L"SetupDiGetClassDevsEx fail,error code is 0x%x!", 5);
    EXPECT_EQ(NewLog(L"file:.\\Pinwheel,line 554 Invalid Parameter!\r\n"
                     L"file:.\\Pinwheel,line 88 SetupDiGetClassDevsEx fail,error code is 0x5!\r\n"),
              log.Bytes());
}

TEST_F(DetailLogTest, ExistingFileIsAppendedToWithoutAMark)
{
    LogDirectory log;
    WriteFileBytes(log.LogPath(), std::string("\xFF\xFEo\0l\0d\0", 8));
    LogFailure(569, L"Install,But find device!");
    EXPECT_EQ(std::string("\xFF\xFEo\0l\0d\0", 8) + Utf16(Entry(569, L"Install,But find device!")),
              log.Bytes());
}

// A write cut off earlier left half a character; without padding, every
// later entry would decode shifted by one byte.
TEST_F(DetailLogTest, OddLengthLogIsPaddedToWholeCharactersFirst)
{
    LogDirectory log;
    WriteFileBytes(log.LogPath(), std::string("\xFF\xFEo\0l", 5));
    LogFailure(569, L"Install,But find device!");
    LogFailure(621, L"Uninstall Ok,But no device!");
    EXPECT_EQ(std::string("\xFF\xFEo\0l\0", 6) +
                  Utf16(Entry(569, L"Install,But find device!") +
                        Entry(621, L"Uninstall Ok,But no device!")),
              log.Bytes());
}

TEST_F(DetailLogTest, ExistingEmptyFileGetsItsFirstEntryAtOffsetZero)
{
    LogDirectory log;
    WriteFileBytes(log.LogPath(), "");
    LogFailure(621, L"Uninstall Ok,But no device!");
    EXPECT_EQ(Utf16(Entry(621, L"Uninstall Ok,But no device!")), log.Bytes());
}

TEST_F(DetailLogTest, ErrorCodesAreLowerCaseHexWithoutLeadingZeros)
{
    struct Case {
        DWORD code;
        const wchar_t* written;
    } cases[] = {
        {0, L"0x0"}, {0x57, L"0x57"}, {0xABCDEF, L"0xabcdef"}, {0xE000020B, L"0xe000020b"}};
    for (const Case& c : cases) {
        LogDirectory log;
        LogFailure(7, L"Op fail,error code is 0x%x!", c.code);
        EXPECT_EQ(NewLog(Entry(7, std::wstring(L"Op fail,error code is ") + c.written + L"!")),
                  log.Bytes());
    }
}

// The code written is the one handed over, although opening the log (which
// fails first with ERROR_FILE_NOT_FOUND before it creates the file) changes
// the last error in between.
TEST_F(DetailLogTest, ErrorEntryKeepsTheFailingCallsCodeOnTheFirstEntryOfARun)
{
    LogDirectory log;
    SetLastError(ERROR_ACCESS_DENIED);
    LogFailure(88, L"SetupDiGetClassDevsEx fail,error code is 0x%x!", GetLastError());
    EXPECT_EQ(NewLog(Entry(88, L"SetupDiGetClassDevsEx fail,error code is 0x5!")), log.Bytes());
}

TEST_F(DetailLogTest, LongTextsAreWrittenWholeUpTo4095CharactersAndCutBeyond)
{
    LogDirectory log;
    std::wstring full(4095, L'x');
    EXPECT_EQ(1, WriteDetailLog(full.c_str()));
    std::wstring longer = std::wstring(4095, L'y') + L"zz";
    EXPECT_EQ(1, WriteDetailLog(longer.c_str()));
    EXPECT_EQ(NewLog(full + std::wstring(4095, L'y')), log.Bytes());
}

TEST_F(DetailLogTest, EmptyTextReturnsOneOnlyAfterTheSizeQuery)
{
    LogDirectory log;
    EXPECT_EQ(1, WriteDetailLog(L""));
    EXPECT_EQ(NewLog(L""), log.Bytes());
    Fail<win::GetFileSizeEx> size(FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, WriteDetailLog(L""));
    EXPECT_EQ(1, size.Calls());
}

TEST_F(DetailLogTest, NoFileSystemCallAfterTheExecutablePathCannotBeRead)
{
    LogDirectory log;
    Fail<win::GetModuleFileNameW> module(0, ERROR_NOT_ENOUGH_MEMORY);
    Fail<win::CreateFileW> create(INVALID_HANDLE_VALUE, 1);
    Fail<win::GetFileSizeEx> size(FALSE, 1);
    Fail<win::WriteFile> write(FALSE, 1);
    EXPECT_EQ(0, WriteDetailLog(L"one"));
    EXPECT_EQ(0, WriteDetailLog(L"two"));
    EXPECT_EQ(1, module.Calls());
    EXPECT_EQ(0, create.Calls() + size.Calls() + write.Calls());
}

TEST_F(DetailLogTest, ExecutablePathTooLongForTheLogMakesItUnusable)
{
    LogDirectory log;
    // 255 characters of folder leave no room for "Detail.log".
    static const std::wstring s_path = L"C:\\" + std::wstring(250, L'd') + L"\\a.exe";
    Override<win::GetModuleFileNameW> module([](HMODULE, LPWSTR buffer, DWORD) -> DWORD {
        lstrcpyW(buffer, s_path.c_str());
        return static_cast<DWORD>(s_path.size());
    });
    Fail<win::CreateFileW> create(INVALID_HANDLE_VALUE, 1);
    EXPECT_EQ(0, WriteDetailLog(L"one"));
    EXPECT_EQ(0, create.Calls());
}

TEST_F(DetailLogTest, LogHeldByAnotherProcessIsNotWrittenAndNotRetried)
{
    LogDirectory log;
    WriteFileBytes(log.LogPath(), "\xFF\xFE");
    HANDLE holder = CreateFileW(log.LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    {
        Fail<win::CreateFileW> counter(INVALID_HANDLE_VALUE, 0, 100);
        LogFailure(554, L"Invalid Parameter!");
        LogFailure(554, L"Invalid Parameter!");
        // One attempt, which opens the file or makes it in one call.
        EXPECT_EQ(1, counter.Calls());
    }
    CloseHandle(holder);
    EXPECT_EQ(std::string("\xFF\xFE"), log.Bytes());
}

TEST_F(DetailLogTest, FailedMarkLeavesTheFileButMakesTheLogUnusable)
{
    LogDirectory log;
    {
        Fail<win::WriteFile> write(FALSE, ERROR_DISK_FULL);
        EXPECT_EQ(0, WriteDetailLog(L"one"));
    }
    EXPECT_EQ(0, WriteDetailLog(L"two"));
    EXPECT_TRUE(log.LogExists());
    EXPECT_EQ(std::string(), log.Bytes());
}

TEST_F(DetailLogTest, AFailedWriteDoesNotStopTheNextOne)
{
    LogDirectory log;
    EXPECT_EQ(1, WriteDetailLog(L"a"));
    {
        Fail<win::WriteFile> write(FALSE, ERROR_DISK_FULL);
        EXPECT_EQ(0, WriteDetailLog(L"b"));
    }
    {
        // A short write counts as a failure too, and what it wrote is taken
        // back, so that no torn text stays in the log.
        Override<win::WriteFile> shortWrite(
            [](HANDLE file, LPCVOID data, DWORD, LPDWORD written, LPOVERLAPPED o) -> BOOL {
                return ::WriteFile(file, data, 3, written, o);
            });
        EXPECT_EQ(0, WriteDetailLog(L"cd"));
        EXPECT_EQ(NewLog(L"a"), log.Bytes());
    }
    EXPECT_EQ(1, WriteDetailLog(L"e"));
    EXPECT_EQ(NewLog(L"ae"), log.Bytes());
}

TEST_F(DetailLogTest, FormatsWideStringsAndSignedNumbers)
{
    LogDirectory log;
    EXPECT_EQ(1, WriteDetailLog(L"file:%s,line %d ", L".\\Pinwheel", -12));
    EXPECT_EQ(NewLog(L"file:.\\Pinwheel,line -12 "), log.Bytes());
}

}  // namespace
