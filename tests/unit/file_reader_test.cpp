// The file object against real files, with the system-call seam used to
// see which calls an operation makes and to fail them.
#include <gtest/gtest.h>

#include "diagnostics/file_reader.h"
#include "log_directory.h"

namespace {

class FileReaderTest : public ::testing::Test {
protected:
    FileReaderTest() : m_directory(FreshTestDirectory(L"file_reader")) {}
    std::wstring PathOf(const wchar_t* name) { return m_directory + L"\\" + name; }
    bool OpenNew(CFileReader& file, const wchar_t* name)
    {
        return file.Open(PathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL);
    }

    std::wstring m_directory;
};

// Every handle-based operation of an object that holds no handle reports
// false and calls nothing.
TEST_F(FileReaderTest, WithoutHandleEveryOperationFailsAndCallsNothing)
{
    Fail<win::CloseHandle> close(FALSE, 1);
    Fail<win::SetFilePointerEx> seek(FALSE, 1);
    Fail<win::ReadFile> read(FALSE, 1);
    Fail<win::WriteFile> write(FALSE, 1);
    Fail<win::GetFileSizeEx> size(FALSE, 1);
    Fail<win::SetEndOfFile> end(FALSE, 1);
    Fail<win::DeviceIoControl> control(FALSE, 1);
    Fail<win::SetFileAttributesW> setAttributes(FALSE, 1);
    Fail<win::DeleteFileW> remove(FALSE, 1);

    CFileReader file;
    char buffer[4] = {};
    DWORD count = 77;
    LONGLONG length = 99;
    DWORD attributes = 0;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Close());
    EXPECT_FALSE(file.ReadAt(0, 4, buffer, &count, 0));
    EXPECT_FALSE(file.WriteAt(0, 4, buffer, &count, 0));
    EXPECT_FALSE(file.GetSize(&length));
    EXPECT_FALSE(file.SetSize(0));
    EXPECT_FALSE(file.SetAttributes(FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(file.Delete());
    EXPECT_FALSE(file.Reserved1(1));
    EXPECT_FALSE(file.Reserved2());
    // The stored path of a never-opened object is empty, so this one fails.
    EXPECT_FALSE(file.GetAttributes(&attributes));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_EQ(77u, count);
    EXPECT_EQ(99, length);

    int calls = close.Calls() + seek.Calls() + read.Calls() + write.Calls() + size.Calls() +
                end.Calls() + control.Calls() + setAttributes.Calls() + remove.Calls();
    EXPECT_EQ(0, calls);
}

TEST_F(FileReaderTest, OpenRefusesNullPathOpenObjectAndOverlongPath)
{
    CFileReader file;
    EXPECT_FALSE(file.Open(nullptr, GENERIC_READ, 0, CREATE_ALWAYS, 0));
    EXPECT_FALSE(file.IsOpen());

    std::wstring overlong = m_directory + L"\\" + std::wstring(MAX_PATH, L'a');
    {
        Fail<win::CreateFileW> create(INVALID_HANDLE_VALUE, 1);
        EXPECT_FALSE(file.Open(overlong.c_str(), GENERIC_READ, 0, CREATE_ALWAYS, 0));
        EXPECT_EQ(0, create.Calls());
    }

    ASSERT_TRUE(OpenNew(file, L"first.bin"));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_FALSE(OpenNew(file, L"second.bin"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(PathOf(L"second.bin").c_str()));
    // The object still works on its first file.
    EXPECT_TRUE(file.WriteAt(0, 3, "abc", nullptr, 0));
    char buffer[3] = {};
    EXPECT_TRUE(file.ReadAt(0, 3, buffer, nullptr, 0));
    EXPECT_EQ(std::string("abc"), std::string(buffer, 3));
}

TEST_F(FileReaderTest, FailedOpenKeepsCreateFileErrorAndLeavesObjectUsable)
{
    CFileReader file;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(file.Open(PathOf(L"absent.bin").c_str(), GENERIC_READ, 0, OPEN_EXISTING, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(OpenNew(file, L"absent.bin"));
}

TEST_F(FileReaderTest, ZeroCountAndNullBufferRules)
{
    CFileReader file;
    ASSERT_TRUE(OpenNew(file, L"data.bin"));
    Fail<win::SetFilePointerEx> seek(FALSE, 1);
    Fail<win::ReadFile> read(FALSE, 1);
    Fail<win::WriteFile> write(FALSE, 1);
    char buffer[1];
    EXPECT_TRUE(file.ReadAt(0, 0, buffer, nullptr, 0));
    EXPECT_TRUE(file.WriteAt(0, 0, buffer, nullptr, 0));
    EXPECT_FALSE(file.ReadAt(0, 0, nullptr, nullptr, 0));
    EXPECT_FALSE(file.WriteAt(0, 0, nullptr, nullptr, 0));
    EXPECT_EQ(0, seek.Calls() + read.Calls() + write.Calls());
}

TEST_F(FileReaderTest, ReadsAndWritesAtOffsetsAndReportsShortReads)
{
    CFileReader file;
    ASSERT_TRUE(OpenNew(file, L"data.bin"));
    DWORD count = 0;
    EXPECT_TRUE(file.WriteAt(4, 4, "WXYZ", &count, 0));
    EXPECT_EQ(4u, count);
    EXPECT_TRUE(file.WriteAt(0, 4, "abcd", nullptr, 0));
    LONGLONG size = 0;
    EXPECT_TRUE(file.GetSize(&size));
    EXPECT_EQ(8, size);

    char buffer[8] = {};
    EXPECT_TRUE(file.ReadAt(2, 4, buffer, &count, 0));
    EXPECT_EQ(std::string("cdWX"), std::string(buffer, 4));

    count = 99;
    EXPECT_FALSE(file.ReadAt(6, 8, buffer, &count, 0));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(std::string("YZ"), std::string(buffer, 2));

    EXPECT_TRUE(file.SetSize(3));
    EXPECT_TRUE(file.GetSize(&size));
    EXPECT_EQ(3, size);
}

TEST_F(FileReaderTest, PlatformFailuresBecomeFalse)
{
    CFileReader file;
    ASSERT_TRUE(OpenNew(file, L"data.bin"));
    char buffer[4] = {};
    DWORD count = 55;
    LONGLONG size = 66;
    {
        Fail<win::SetFilePointerEx> seek(FALSE, ERROR_NEGATIVE_SEEK);
        EXPECT_FALSE(file.WriteAt(0, 4, "abcd", &count, 0));
        EXPECT_FALSE(file.ReadAt(0, 4, buffer, &count, 0));
        EXPECT_FALSE(file.SetSize(0));
    }
    {
        Fail<win::WriteFile> write(FALSE, ERROR_DISK_FULL);
        Fail<win::ReadFile> read(FALSE, ERROR_READ_FAULT);
        Fail<win::GetFileSizeEx> getSize(FALSE, ERROR_ACCESS_DENIED);
        Fail<win::SetEndOfFile> end(FALSE, ERROR_ACCESS_DENIED);
        EXPECT_FALSE(file.WriteAt(0, 4, "abcd", &count, 0));
        EXPECT_FALSE(file.ReadAt(0, 4, buffer, &count, 0));
        EXPECT_FALSE(file.GetSize(&size));
        EXPECT_FALSE(file.SetSize(0));
    }
    EXPECT_EQ(55u, count);
    EXPECT_EQ(66, size);
}

TEST_F(FileReaderTest, AttributesFollowTheStoredPath)
{
    CFileReader file;
    ASSERT_TRUE(OpenNew(file, L"data.bin"));
    DWORD attributes = 0;
    EXPECT_TRUE(file.GetAttributes(&attributes));
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);

    // Bits without the sparse one are applied as they are.
    EXPECT_TRUE(file.SetAttributes(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(file.GetAttributes(&attributes));
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(FileReaderTest, SparseBitGoesToTheHandleAndTheRestToTheAttributes)
{
    CFileReader file;
    ASSERT_TRUE(OpenNew(file, L"data.bin"));
    static DWORD s_code;
    static DWORD s_set;
    Override<win::DeviceIoControl> control([](HANDLE, DWORD code, LPVOID in, DWORD inSize,
                                              LPVOID out, DWORD outSize, LPDWORD returned,
                                              LPOVERLAPPED overlapped) -> BOOL {
        s_code = code;
        return in == nullptr && inSize == 0 && out == nullptr && outSize == 0 &&
               returned != nullptr && overlapped == nullptr;
    });
    Override<win::SetFileAttributesW> set([](LPCWSTR, DWORD bits) -> BOOL {
        s_set = bits;
        return TRUE;
    });

    s_code = 0;
    s_set = 0xFFFF;
    EXPECT_TRUE(file.SetAttributes(FILE_ATTRIBUTE_SPARSE_FILE));
    EXPECT_EQ(0x900C4u, s_code);
    EXPECT_EQ(0xFFFFu, s_set);

    EXPECT_TRUE(file.SetAttributes(FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), s_set);

    s_set = 0xFFFF;
    Fail<win::DeviceIoControl> refused(FALSE, ERROR_INVALID_FUNCTION);
    EXPECT_FALSE(file.SetAttributes(FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0xFFFFu, s_set);
}

TEST_F(FileReaderTest, DeleteClosesThenDeletesAndCloseKeepsTheOpenFlag)
{
    CFileReader file;
    ASSERT_TRUE(OpenNew(file, L"data.bin"));
    EXPECT_TRUE(file.Delete());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(PathOf(L"data.bin").c_str()));
    EXPECT_FALSE(file.Delete());

    CFileReader other;
    ASSERT_TRUE(OpenNew(other, L"other.bin"));
    EXPECT_TRUE(other.Close());
    EXPECT_FALSE(other.Close());
    EXPECT_TRUE(other.IsOpen());
    EXPECT_FALSE(OpenNew(other, L"third.bin"));
}

TEST_F(FileReaderTest, DestructorClosesTheFile)
{
    {
        CFileReader file;
        ASSERT_TRUE(OpenNew(file, L"data.bin"));
    }
    // Opened without sharing, so this succeeds only once the handle is gone.
    HANDLE again = CreateFileW(PathOf(L"data.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    CloseHandle(again);
}

}  // namespace
