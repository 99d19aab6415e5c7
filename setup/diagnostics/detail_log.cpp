#include "detail_log.h"

#include <stdarg.h>
#include <stdio.h>

#include <new>

#include "../system_calls.h"
#include "file_reader.h"

namespace {

const size_t kTextUnits = 4096;
const wchar_t kLogName[] = L"Detail.log";

struct LogState {
    CFileReader file;
    LONG attempted = 0;
    LONG usable = 0;
};

LogState& State()
{
    // Constructed on the first entry of the run and destroyed at process
    // exit, which closes the file.
    static LogState state;
    return state;
}

// Builds the log's path beside the executable. False when the path cannot be
// obtained or would not fit whole.
bool GetLogPath(wchar_t (&path)[MAX_PATH])
{
    for (wchar_t& unit : path) {
        unit = L'\0';
    }
    DWORD length = win::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        // A cut path would put the log in the wrong place.
        return false;
    }
    path[MAX_PATH - 1] = L'\0';
    size_t directory = 0;
    for (size_t i = 0; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\') {
            directory = i + 1;
        }
    }
    const size_t nameUnits = sizeof(kLogName) / sizeof(kLogName[0]);  // with NUL
    if (directory + nameUnits > MAX_PATH) {
        return false;
    }
    for (size_t i = 0; i < nameUnits; ++i) {
        path[directory + i] = kLogName[i];
    }
    return true;
}

bool OpenLog(CFileReader& file)
{
    wchar_t path[MAX_PATH];
    if (!GetLogPath(path)) {
        return false;
    }
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    if (file.Open(path, access, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL)) {
        return true;
    }
    if (!file.Open(path, access, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL)) {
        return false;
    }
    static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    return file.WriteAt(0, sizeof(kByteOrderMark), kByteOrderMark, &written, 0) &&
           written == sizeof(kByteOrderMark);
}

int AppendText(CFileReader& file, const wchar_t* format, va_list args)
{
    wchar_t text[kTextUnits];
    // A text longer than the buffer is cut; the last unit always ends it.
    _vsnwprintf(text, kTextUnits - 1, format, args);
    text[kTextUnits - 1] = L'\0';
    DWORD units = 0;
    while (text[units] != L'\0') {
        ++units;
    }
    const DWORD bytes = units * static_cast<DWORD>(sizeof(wchar_t));

    // The size is asked for every time, so each text lands at the end even
    // when something else moved the file pointer or grew the file.
    LONGLONG size = 0;
    if (!file.GetSize(&size)) {
        return 0;
    }
    if (bytes == 0) {
        return 1;
    }
    DWORD written = 0;
    return file.WriteAt(size, bytes, text, &written, 0) && written == bytes ? 1 : 0;
}

}  // namespace

int WriteDetailLog(const wchar_t* format, ...)
{
    LogState& state = State();
    if (!state.attempted) {
        // One attempt per run: set before anything can fail.
        state.attempted = 1;
        if (!OpenLog(state.file)) {
            return 0;
        }
        state.usable = 1;
    } else if (!state.usable) {
        return 0;
    }
    va_list args;
    va_start(args, format);
    int result = AppendText(state.file, format, args);
    va_end(args);
    return result;
}

void LogFailure(int location, const wchar_t* text)
{
    WriteDetailLog(L"file:%s,line %d ", L".\\Pinwheel", location);
    WriteDetailLog(text);
    WriteDetailLog(L"\r\n");
}

void LogFailure(int location, const wchar_t* format, DWORD code)
{
    WriteDetailLog(L"file:%s,line %d ", L".\\Pinwheel", location);
    WriteDetailLog(format, code);
    WriteDetailLog(L"\r\n");
}

void ResetDetailLogForTesting()
{
    LogState& state = State();
    state.~LogState();
    new (&state) LogState();
}
