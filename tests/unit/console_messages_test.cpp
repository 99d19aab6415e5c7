// Numbered console messages: the formatter call, the line-break rule, and the
// real message table (linked into this test program as into the tool).
#include <gtest/gtest.h>
#include <stdio.h>

#include "diagnostics/console_messages.h"
#include "log_directory.h"

namespace {

// What PrintMessage wrote to a text-mode stream, as bytes; all of them are in
// the file when it returns.
template <typename... Inserts>
std::string Printed(unsigned long id, Inserts... inserts)
{
    std::wstring path = FreshTestDirectory(L"console_messages") + L"\\out.txt";
    FILE* stream = _wfopen(path.c_str(), L"w");
    PrintMessage(stream, id, inserts...);
    const std::string atReturn = ReadFileBytes(path);
    fclose(stream);
    EXPECT_EQ(atReturn, ReadFileBytes(path)) << "bytes were left in the stream's buffer";
    return atReturn;
}

UINT WINAPI Windows1252()
{
    return 1252;
}

const wchar_t* g_text;
int g_frees;
DWORD g_flags;
LPCVOID g_source;
DWORD g_language;
DWORD g_size;

DWORD WINAPI FakeFormat(DWORD flags, LPCVOID source, DWORD, DWORD language, LPWSTR buffer,
                        DWORD size, va_list*)
{
    g_flags = flags;
    g_source = source;
    g_language = language;
    g_size = size;
    if (g_text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    size_t length = lstrlenW(g_text);
    auto* copy = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(wchar_t)));
    lstrcpyW(copy, g_text);
    *reinterpret_cast<wchar_t**>(buffer) = copy;
    return static_cast<DWORD>(length);
}

HLOCAL WINAPI CountingFree(HLOCAL memory)
{
    ++g_frees;
    return LocalFree(memory);
}

TEST(ConsoleMessagesTest, TrailingLineBreaksBecomeExactlyOne)
{
    Override<win::FormatMessageW> format(&FakeFormat);
    Override<win::LocalFree> free(&CountingFree);
    struct Case {
        const wchar_t* text;
        const char* printed;  // text mode: LF goes out as CR LF
    } cases[] = {
        {L"abc\r\n", "abc\r\n"},
        {L"abc\r\n\r\n\n", "abc\r\n"},
        {L"abc\n\r", "abc\r\n"},
        {L"abc", "abc"},
        {L"a\r\nb", "a\r\r\nb"},
        {L"\r\n\n", "\r\n"},
        {L"", ""},
    };
    for (const Case& c : cases) {
        g_text = c.text;
        g_frees = 0;
        EXPECT_EQ(std::string(c.printed), Printed(1)) << "text of " << lstrlenW(c.text);
        EXPECT_EQ(1, g_frees);
    }
    EXPECT_EQ(0x900u, g_flags);
    EXPECT_EQ(nullptr, g_source);
    EXPECT_EQ(0u, g_language);
    EXPECT_EQ(0u, g_size);
}

TEST(ConsoleMessagesTest, NoTextPrintsNothingAndFreesNothing)
{
    Override<win::FormatMessageW> format(&FakeFormat);
    Override<win::LocalFree> free(&CountingFree);
    g_text = nullptr;
    g_frees = 0;
    EXPECT_EQ(std::string(), Printed(61002));
    EXPECT_EQ(0, g_frees);
}

TEST(ConsoleMessagesTest, MessageTableTextsWithTheirInserts)
{
    EXPECT_EQ(std::string("Device node created.\r\n"), Printed(61002));
    EXPECT_EQ(std::string("Installing the driver for ROOT\\Demo from C:\\d\\demo.inf...\r\n"),
              Printed(61102, L"ROOT\\Demo", L"C:\\d\\demo.inf"));
    EXPECT_EQ(std::string("Driver installed.\r\n"), Printed(61106));
    // A number the table does not hold.
    EXPECT_EQ(std::string(), Printed(61003));
}

// A path under a user folder with non-ASCII characters comes out whole, each
// character the code page cannot hold as '?', and with its line break.
TEST(ConsoleMessagesTest, NonAsciiInsertsKeepTheWholeText)
{
    Override<win::GetConsoleOutputCP> codePage(&Windows1252);
    EXPECT_EQ(
        std::string("Installing the driver for ROOT\\Demo from "
                    "C:\\Users\\\xDC"
                    "bung-\xE9\\??\\demo.inf...\r\n"),
        Printed(61102, L"ROOT\\Demo", L"C:\\Users\\\u00DCbung-\u00E9\\\u5F20\u4E09\\demo.inf"));
}

}  // namespace
