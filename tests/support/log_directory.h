// A fresh folder that the failure log treats as the executable's own, so that
// each test reads exactly the bytes that its code wrote to Detail.log.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "system_call_override.h"

class LogDirectory {
public:
    LogDirectory();
    ~LogDirectory();

    const std::wstring& Path() const { return m_directory; }
    std::wstring LogPath() const { return m_directory + L"\\Detail.log"; }
    // The whole log file as bytes; empty when there is no file.
    std::string Bytes() const;
    bool LogExists() const;

private:
    static DWORD WINAPI FakeModuleFileName(HMODULE module, LPWSTR buffer, DWORD size);

    std::wstring m_directory;
    Override<win::GetModuleFileNameW> m_module;
};

// The UTF-16LE bytes of a text, without a terminator.
std::string Utf16(const std::wstring& text);
// The bytes of a log that this run created: the mark, then the entries.
std::string NewLog(const std::wstring& entries);
// One entry in the log's form.
std::wstring Entry(int location, const std::wstring& text);
// Makes an empty folder for one test under the temporary folder.
std::wstring FreshTestDirectory(const std::wstring& name);
// Whole-file helpers.
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The entries of a log's bytes: UTF-16LE after an optional mark at offset 0,
// each `file:.\Pinwheel,line <number> <text>` ending in CR LF. Fails when
// anything else is there: a torn or interleaved entry, a mark elsewhere, an
// odd byte.
::testing::AssertionResult DecodeLog(const std::string& bytes, std::vector<std::wstring>* entries);
