#include "log_directory.h"

#include <windows.h>
#include <wctype.h>

#include <gtest/gtest.h>

#include "diagnostics/detail_log.h"

namespace {
std::wstring g_modulePath;

void RemoveTree(const std::wstring& directory)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring path = directory + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(directory.c_str());
}
}  // namespace

std::wstring FreshTestDirectory(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring root = std::wstring(temp) + L"pinwheel-tests";
    CreateDirectoryW(root.c_str(), nullptr);
    std::wstring directory = root + L"\\" + name + L"-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(directory);
    CreateDirectoryW(directory.c_str(), nullptr);
    return directory;
}

static std::wstring CurrentTestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    std::wstring wide;
    for (char c : name) {
        wide += (c == '/' ? L'_' : static_cast<wchar_t>(c));
    }
    return wide;
}

static std::wstring NextLogDirectoryName()
{
    static int s_count;
    return CurrentTestName() + L"-log" + std::to_wstring(++s_count);
}

LogDirectory::LogDirectory()
    : m_directory(FreshTestDirectory(NextLogDirectoryName())), m_module(&FakeModuleFileName)
{
    g_modulePath = m_directory + L"\\Pinwheel.exe";
    ResetDetailLogForTesting();
}

LogDirectory::~LogDirectory()
{
    ResetDetailLogForTesting();
}

DWORD WINAPI LogDirectory::FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD size)
{
    DWORD length = static_cast<DWORD>(g_modulePath.size());
    if (length >= size) {
        return 0;
    }
    for (DWORD i = 0; i <= length; ++i) {
        buffer[i] = g_modulePath.c_str()[i];
    }
    return length;
}

std::string LogDirectory::Bytes() const
{
    return ReadFileBytes(LogPath());
}

bool LogDirectory::LogExists() const
{
    return GetFileAttributesW(LogPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CloseHandle(file);
}

std::string Utf16(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>((unit >> 8) & 0xFF);
    }
    return bytes;
}

std::string NewLog(const std::wstring& entries)
{
    return std::string("\xFF\xFE", 2) + Utf16(entries);
}

std::wstring Entry(int location, const std::wstring& text)
{
    return L"file:.\\Pinwheel,line " + std::to_wstring(location) + L" " + text + L"\r\n";
}

::testing::AssertionResult DecodeLog(const std::string& bytes, std::vector<std::wstring>* entries)
{
    if (bytes.size() % 2 != 0) {
        return ::testing::AssertionFailure() << "odd length " << bytes.size();
    }
    std::wstring text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    if (!text.empty() && text[0] == 0xFEFF) {
        text.erase(0, 1);
    }
    const std::wstring prefix = L"file:.\\Pinwheel,line ";
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos) {
            return ::testing::AssertionFailure() << "an entry without its line end at " << at;
        }
        const std::wstring entry = text.substr(at, end - at);
        size_t digits = prefix.size();
        while (digits < entry.size() && iswdigit(entry[digits])) {
            ++digits;
        }
        if (entry.compare(0, prefix.size(), prefix) != 0 || digits == prefix.size() ||
            digits >= entry.size() || entry[digits] != L' ' ||
            entry.find_first_of(std::wstring(L"\r\n\0\xFEFF", 4)) != std::wstring::npos ||
            entry.find(prefix, 1) != std::wstring::npos) {
            return ::testing::AssertionFailure() << "not a whole entry at " << at;
        }
        if (entries != nullptr) {
            entries->push_back(entry);
        }
        at = end + 2;
    }
    return ::testing::AssertionSuccess();
}
