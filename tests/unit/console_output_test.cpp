// Console output: wide text on a console, code page conversion when
// redirected, and every text on its way before the call returns. The console
// is simulated through the call table; redirected output goes to a real
// text-mode file stream.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "diagnostics/console_output.h"
#include "log_directory.h"

namespace {

// A path as the tool prints it on machines with non-ASCII user names: Latin
// letters with accents, CJK, and a letter that Windows-1252 could only
// approximate (best fit would print an 'A' there).
const wchar_t kPathLine[] = L"C:\\\u00DCbung-\u00E9\\\u5F20\u4E09\\\u0100.inf\n";

std::wstring g_path;

// Runs `print` on a fresh text-mode file stream and returns the bytes the
// file held when `print` returned. Closing the stream must add nothing: a
// text still in the stream's buffer would reach a capturing installer only
// when the tool exits.
template <typename Print>
std::string Printed(Print print)
{
    g_path = FreshTestDirectory(L"console_output") + L"\\out.txt";
    FILE* stream = _wfopen(g_path.c_str(), L"w");
    print(stream);
    const std::string atReturn = ReadFileBytes(g_path);
    fclose(stream);
    EXPECT_EQ(atReturn, ReadFileBytes(g_path)) << "bytes were left in the stream's buffer";
    return atReturn;
}

std::string PrintedWide(const std::wstring& text)
{
    return Printed([&](FILE* stream) {
        PrintWideText(stream, text.c_str(), text.size());
    });
}

// The console output code page that the process reports.
UINT g_consoleCodePage;
UINT WINAPI FakeConsoleOutputCP()
{
    return g_consoleCodePage;
}

// Records the arguments of each conversion and lets Windows convert.
struct Conversion {
    UINT codePage;
    DWORD flags;
    std::string defaultChar;  // "(null)" when none was given
    bool usedDefaultAsked;
};
std::vector<Conversion> g_conversions;
int WINAPI RecordingConvert(UINT codePage, DWORD flags, LPCWCH text, int units, LPSTR bytes,
                            int size, LPCCH defaultChar, LPBOOL usedDefault)
{
    g_conversions.push_back({codePage, flags, defaultChar ? std::string(defaultChar) : "(null)",
                             usedDefault != nullptr});
    return WideCharToMultiByte(codePage, flags, text, units, bytes, size, defaultChar, usedDefault);
}

// A console: GetConsoleMode succeeds for any handle, and WriteConsoleW
// records what it is given (and what the file behind the stream held at that
// moment), accepting the first `g_consoleAccepts` writes.
std::wstring g_console;
std::vector<DWORD> g_consoleWrites;
std::string g_fileAtFirstWrite;
int g_consoleAccepts;
BOOL WINAPI FakeConsoleMode(HANDLE, LPDWORD mode)
{
    *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
}
BOOL WINAPI FakeWriteConsole(HANDLE, const VOID* text, DWORD units, LPDWORD written, LPVOID)
{
    if (g_consoleWrites.empty()) {
        g_fileAtFirstWrite = ReadFileBytes(g_path);
    }
    if (static_cast<int>(g_consoleWrites.size()) >= g_consoleAccepts) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_consoleWrites.push_back(units);
    g_console.append(static_cast<const wchar_t*>(text), units);
    *written = units;
    return TRUE;
}

class ConsoleOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_consoleCodePage = 1252;
        g_conversions.clear();
        g_console.clear();
        g_consoleWrites.clear();
        g_fileAtFirstWrite.clear();
        g_consoleAccepts = 1 << 30;
    }
    Override<win::GetConsoleOutputCP> m_codePage{&FakeConsoleOutputCP};
    Override<win::WideCharToMultiByte> m_convert{&RecordingConvert};
};

TEST_F(ConsoleOutputTest, ProgressTextIsOutBeforeTheCallReturns)
{
    EXPECT_EQ("Install driver,please wait...", Printed([](FILE* stream) {
                  PrintProgressText(stream, "Install driver,please wait...");
              }));
}

TEST_F(ConsoleOutputTest, RedirectedTextIsConvertedToTheConsoleCodePageWhole)
{
    struct Case {
        UINT codePage;
        std::string printed;  // text mode: LF goes out as CR LF
    } cases[] = {
        {1252,
         "C:\\\xDC"
         "bung-\xE9\\??\\?.inf\r\n"},
        {437,
         "C:\\\x9A"
         "bung-\x82\\??\\?.inf\r\n"},
        {936, "C:\\?bung-\xA8\xA6\\\xD5\xC5\xC8\xFD\\?.inf\r\n"},
        {932, "C:\\?bung-?\\?\x8E\x4F\\?.inf\r\n"},
        {CP_UTF8,
         "C:\\\xC3\x9C"
         "bung-\xC3\xA9\\\xE5\xBC\xA0\xE4\xB8\x89\\\xC4\x80.inf\r\n"},
        // UTF-7 takes neither flags nor a default character.
        {CP_UTF7, "C:+AFwA3A-bung-+AOkAXF8gTgkAXAEA-.inf\r\n"},
    };
    for (const Case& c : cases) {
        g_consoleCodePage = c.codePage;
        g_conversions.clear();
        EXPECT_EQ(c.printed, PrintedWide(kPathLine)) << "code page " << c.codePage;
        ASSERT_FALSE(g_conversions.empty());
        EXPECT_EQ(c.codePage, g_conversions.back().codePage);
    }
}

TEST_F(ConsoleOutputTest, WithoutAConsoleTheAnsiCodePageIsUsed)
{
    g_consoleCodePage = 0;
    PrintedWide(kPathLine);
    ASSERT_FALSE(g_conversions.empty());
    for (const Conversion& conversion : g_conversions) {
        EXPECT_EQ(static_cast<UINT>(CP_ACP), conversion.codePage);
    }
}

// The system refuses flags or a default character of the caller's for some
// code pages (Wine does not refuse them all); every other page is converted
// without best fit and with '?'.
TEST_F(ConsoleOutputTest, ConversionOptionsFollowTheCodePage)
{
    const UINT bare[] = {CP_UTF8, CP_UTF7, 42,    50220, 50221, 50222, 50225,
                         50227,   50229,   52936, 54936, 57002, 57006, 57011};
    const UINT withOptions[] = {CP_ACP, 437, 850,  866,  932,   936,
                                949,    950, 1250, 1252, 57001, 57012};
    for (UINT codePage : bare) {
        g_consoleCodePage = codePage;
        g_conversions.clear();
        PrintedWide(L"a\u00E9\n");
        ASSERT_FALSE(g_conversions.empty()) << codePage;
        for (const Conversion& conversion : g_conversions) {
            EXPECT_EQ(0u, conversion.flags) << codePage;
            EXPECT_EQ("(null)", conversion.defaultChar) << codePage;
            EXPECT_FALSE(conversion.usedDefaultAsked) << codePage;
        }
    }
    for (UINT codePage : withOptions) {
        g_consoleCodePage = codePage;
        g_conversions.clear();
        PrintedWide(L"a\u00E9\n");
        ASSERT_FALSE(g_conversions.empty()) << codePage;
        for (const Conversion& conversion : g_conversions) {
            EXPECT_EQ(static_cast<DWORD>(WC_NO_BEST_FIT_CHARS), conversion.flags) << codePage;
            EXPECT_EQ("?", conversion.defaultChar) << codePage;
        }
    }
}

TEST_F(ConsoleOutputTest, AsciiBytesStayWhatTheStreamWrote)
{
    const wchar_t text[] = L"Device node created.\nDriver installed.\r\n\tEnd";
    for (UINT codePage : {0u, 437u, 1252u, 936u, static_cast<UINT>(CP_UTF8)}) {
        g_consoleCodePage = codePage;
        EXPECT_EQ("Device node created.\r\nDriver installed.\r\r\n\tEnd", PrintedWide(text))
            << "code page " << codePage;
    }
}

// A text far longer than one piece, with a surrogate pair where a piece
// would end: in UTF-8 a split pair would come out as two replacement
// characters.
TEST_F(ConsoleOutputTest, LongTextIsConvertedWhole)
{
    std::wstring text(4095, L'\u5F20');
    text += L"\U0001F600";
    text += std::wstring(6000, L'x');
    text += L"\n";
    g_consoleCodePage = CP_UTF8;
    std::string expected;
    for (int i = 0; i < 4095; ++i) {
        expected += "\xE5\xBC\xA0";
    }
    expected += "\xF0\x9F\x98\x80" + std::string(6000, 'x') + "\r\n";
    EXPECT_EQ(expected, PrintedWide(text));
}

TEST_F(ConsoleOutputTest, OnAConsoleTheWideTextIsWrittenWhole)
{
    Override<win::GetConsoleMode> console(&FakeConsoleMode);
    Override<win::WriteConsoleW> write(&FakeWriteConsole);
    DWORD lastError = 0;
    const std::string file = Printed([&](FILE* stream) {
        // Earlier narrow text still in the stream goes out first.
        fputs("Install driver,please wait...", stream);
        SetLastError(ERROR_FILE_NOT_FOUND);
        PrintWideText(stream, kPathLine, wcslen(kPathLine));
        lastError = GetLastError();
    });
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), lastError);
    EXPECT_EQ(L"C:\\\u00DCbung-\u00E9\\\u5F20\u4E09\\\u0100.inf\r\n", g_console);
    EXPECT_EQ("Install driver,please wait...", g_fileAtFirstWrite);
    EXPECT_EQ("Install driver,please wait...", file);
    EXPECT_TRUE(g_conversions.empty());
}

TEST_F(ConsoleOutputTest, OnAConsoleLongTextGoesInPiecesThatKeepPairsWhole)
{
    Override<win::GetConsoleMode> console(&FakeConsoleMode);
    Override<win::WriteConsoleW> write(&FakeWriteConsole);
    std::wstring text(4095, L'a');
    text += L"\U0001F600";
    text += std::wstring(5000, L'b');
    text += L"\n\nc";
    EXPECT_EQ("", PrintedWide(text));
    std::wstring expected = text.substr(0, text.size() - 3) + L"\r\n\r\nc";
    EXPECT_EQ(expected, g_console);
    size_t at = 0;
    for (DWORD units : g_consoleWrites) {
        EXPECT_LE(units, 4096u);
        at += units;
        EXPECT_FALSE(IS_HIGH_SURROGATE(g_console[at - 1])) << "a pair split at " << at;
    }
}

// When the console refuses a write, what it has not taken goes out
// converted through the stream, and nothing is lost or doubled.
TEST_F(ConsoleOutputTest, WhatTheConsoleRefusesGoesOutConverted)
{
    Override<win::GetConsoleMode> console(&FakeConsoleMode);
    Override<win::WriteConsoleW> write(&FakeWriteConsole);
    struct Case {
        int accepted;
        const wchar_t* console;
        const char* file;
    } cases[] = {
        {0, L"", "Driver \xE9.\r\nDone.\r\n"},
        {1, L"Driver \u00E9.", "\r\nDone.\r\n"},
        {2, L"Driver \u00E9.\r\n", "Done.\r\n"},
        {4, L"Driver \u00E9.\r\nDone.\r\n", ""},
    };
    for (const Case& c : cases) {
        g_console.clear();
        g_consoleWrites.clear();
        g_consoleAccepts = c.accepted;
        EXPECT_EQ(c.file, PrintedWide(L"Driver \u00E9.\nDone.\n")) << c.accepted;
        EXPECT_EQ(c.console, g_console) << c.accepted;
    }
}

// A failed conversion (on the size query or on the conversion itself)
// still prints the whole text: ASCII as it is, any other character, a
// surrogate pair included, as one '?'.
TEST_F(ConsoleOutputTest, FailedConversionPrintsAsciiAndQuestionMarks)
{
    const std::wstring text =
        std::wstring(kPathLine).substr(0, wcslen(kPathLine) - 1) + L"\U0001F600\n";
    for (int pass : {0, 1}) {
        Fail<win::WideCharToMultiByte> fail(0, ERROR_INVALID_PARAMETER, pass);
        EXPECT_EQ("C:\\?bung-?\\??\\?.inf?\r\n", PrintedWide(text)) << pass;
        EXPECT_EQ(pass + 1, fail.Calls());
    }
}

}  // namespace
