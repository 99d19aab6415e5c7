#include "detail_log.h"

#include <stdarg.h>
#include <stdio.h>

#include <new>

#include "../system_calls.h"
#include "../unique_handles.h"
#include "file_reader.h"

namespace {

const size_t kTextUnits = 4096;
const wchar_t kLogName[] = L"Detail.log";
// Final paths carry a \\?\ prefix and may name a longer real folder than the
// one the tool was started from.
const DWORD kFinalPathUnits = 2 * MAX_PATH;
// Appends are serialised by a lock on one byte far past any real content, so
// that readers of the log are never blocked by it.
const DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;

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

// Builds the log's path beside the executable and the length of its folder
// part (with its last backslash). False when the path cannot be obtained or
// would not fit whole.
bool GetLogPath(wchar_t (&path)[MAX_PATH], size_t* directoryLength)
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
    if (directory == 0 || directory + nameUnits > MAX_PATH) {
        return false;
    }
    for (size_t i = 0; i < nameUnits; ++i) {
        path[directory + i] = kLogName[i];
    }
    *directoryLength = directory;
    return true;
}

bool GetFinalPath(HANDLE handle, wchar_t (&path)[kFinalPathUnits])
{
    const DWORD length = win::GetFinalPathNameByHandleW(handle, path, kFinalPathUnits,
                                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length != 0 && length < kFinalPathUnits;
}

// The elevated tool writes only into its own log: a plain file with one name,
// which is exactly its own folder's Detail.log once every link on the way is
// resolved. A hard link, a reparse point or a link to a file elsewhere would
// make it append to a file that anyone who could write the folder chose.
bool IsOwnLogFile(HANDLE file, const wchar_t* logPath, size_t directoryLength)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!win::GetFileInformationByHandle(file, &information)) {
        return false;
    }
    const DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    if (information.nNumberOfLinks != 1 || (information.dwFileAttributes & notPlain) != 0) {
        return false;
    }

    // The folder as the platform resolves it, so that a tool started through
    // a linked folder still finds its log.
    wchar_t folder[MAX_PATH];
    for (size_t i = 0; i < directoryLength; ++i) {
        folder[i] = logPath[i];
    }
    folder[directoryLength] = L'\0';
    UniqueFileHandle folderHandle(win::CreateFileW(
        folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    wchar_t expected[kFinalPathUnits];
    wchar_t actual[kFinalPathUnits];
    if (!folderHandle.IsValid() || !GetFinalPath(folderHandle.Get(), expected) ||
        !GetFinalPath(file, actual)) {
        return false;
    }
    size_t length = 0;
    while (expected[length] != L'\0') {
        ++length;
    }
    if (length == 0 || expected[length - 1] != L'\\') {
        expected[length++] = L'\\';
    }
    const size_t nameUnits = sizeof(kLogName) / sizeof(kLogName[0]);  // with NUL
    if (length + nameUnits > kFinalPathUnits) {
        return false;
    }
    for (size_t i = 0; i < nameUnits; ++i) {
        expected[length + i] = kLogName[i];
    }
    return win::CompareStringOrdinal(expected, -1, actual, -1, TRUE) == CSTR_EQUAL;
}

// Holds the append lock of the log for one append. When the file system
// cannot lock, the append goes ahead unlocked: an entry is worth more than
// its order.
class CAppendLock {
public:
    explicit CAppendLock(HANDLE file) : m_file(file), m_overlapped(), m_held(false)
    {
        m_overlapped.OffsetHigh = kAppendLockOffsetHigh;
        m_held = win::LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_overlapped) != FALSE;
    }
    ~CAppendLock()
    {
        if (m_held) {
            const DWORD error = win::GetLastError();
            win::UnlockFileEx(m_file, 0, 1, 0, &m_overlapped);
            win::SetLastError(error);
        }
    }
    CAppendLock(const CAppendLock&) = delete;
    CAppendLock& operator=(const CAppendLock&) = delete;

private:
    HANDLE m_file;
    OVERLAPPED m_overlapped;
    bool m_held;
};

bool OpenLog(CFileReader& file)
{
    wchar_t path[MAX_PATH];
    size_t directoryLength = 0;
    if (!GetLogPath(path, &directoryLength)) {
        return false;
    }
    // Shared for reading and writing, so that runs logging at the same time
    // all get their entries in; links are not followed but checked.
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    // Opened or made in one step: between a failed open and a create, a run
    // starting at the same moment could make the file and leave this one
    // without a log.
    if (!file.Open(path, access, share, OPEN_ALWAYS, flags)) {
        return false;
    }
    const bool created = win::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!IsOwnLogFile(file.Handle(), path, directoryLength)) {
        file.Close();
        return false;
    }
    if (!created) {
        return true;
    }
    // Only the run that created the file marks it, and only while it is still
    // empty: a run that opened it in between may have written already.
    CAppendLock lock(file.Handle());
    LONGLONG size = 0;
    if (!file.GetSize(&size)) {
        return false;
    }
    if (size != 0) {
        return true;
    }
    static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    return file.WriteAt(0, sizeof(kByteOrderMark), kByteOrderMark, &written, 0) &&
           written == sizeof(kByteOrderMark);
}

bool UsableLog(LogState& state)
{
    if (!state.attempted) {
        // One attempt per run: set before anything can fail.
        state.attempted = 1;
        if (!OpenLog(state.file)) {
            return false;
        }
        state.usable = 1;
    }
    return state.usable != 0;
}

// Appends the text in one write at the end of the file as it is at that
// moment, under the append lock, so that entries of runs logging at the same
// time neither overwrite nor interleave each other.
int AppendText(CFileReader& file, const wchar_t* text)
{
    DWORD units = 0;
    while (text[units] != L'\0') {
        ++units;
    }
    const DWORD bytes = units * static_cast<DWORD>(sizeof(wchar_t));

    CAppendLock lock(file.Handle());
    LONGLONG size = 0;
    if (!file.GetSize(&size)) {
        return 0;
    }
    if (bytes == 0) {
        return 1;
    }
    if (size % 2 != 0) {
        // A write cut off earlier left half a character: complete it, or
        // every later entry would be read shifted by one byte.
        static const BYTE kPad = 0;
        DWORD padded = 0;
        if (!file.WriteAt(size, sizeof(kPad), &kPad, &padded, 0) || padded != sizeof(kPad)) {
            return 0;
        }
        size += sizeof(kPad);
    }
    DWORD written = 0;
    if (file.WriteAt(size, bytes, text, &written, 0) && written == bytes) {
        return 1;
    }
    // A write cut short (a full disk) would leave a torn entry for the next
    // one to follow: take it back while the lock still keeps other runs out.
    file.SetSize(size);
    return 0;
}

// Formats into the buffer after `used` units; a text longer than the buffer
// is cut. Returns the units used now.
size_t Format(wchar_t (&text)[kTextUnits], size_t used, size_t reserve, const wchar_t* format,
              va_list args)
{
    const size_t room = kTextUnits - 1 - reserve - used;
    int length = _vsnwprintf(text + used, room, format, args);
    if (length < 0 || static_cast<size_t>(length) > room) {
        length = static_cast<int>(room);
    }
    // The runtime leaves a text that fills the room unterminated.
    text[used + static_cast<size_t>(length)] = L'\0';
    return used + static_cast<size_t>(length);
}

size_t FormatPart(wchar_t (&text)[kTextUnits], size_t used, size_t reserve,
                  const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    used = Format(text, used, reserve, format, args);
    va_end(args);
    return used;
}

// One entry, written in one append so that it is whole in the file or not
// there at all. The line end is always kept.
void AppendEntry(int location, const wchar_t* format, const DWORD* code)
{
    LogState& state = State();
    if (!UsableLog(state)) {
        return;
    }
    const wchar_t kLineEnd[] = L"\r\n";
    const size_t lineEndUnits = sizeof(kLineEnd) / sizeof(kLineEnd[0]) - 1;
    wchar_t text[kTextUnits];
    size_t used = FormatPart(text, 0, lineEndUnits, L"file:%s,line %d ", L".\\Pinwheel", location);
    used = code != nullptr ? FormatPart(text, used, lineEndUnits, format, *code)
                           : FormatPart(text, used, lineEndUnits, L"%s", format);
    for (size_t i = 0; i <= lineEndUnits; ++i) {
        text[used + i] = kLineEnd[i];
    }
    AppendText(state.file, text);
}

}  // namespace

int WriteDetailLog(const wchar_t* format, ...)
{
    LogState& state = State();
    if (!UsableLog(state)) {
        return 0;
    }
    wchar_t text[kTextUnits];
    va_list args;
    va_start(args, format);
    Format(text, 0, 0, format, args);
    va_end(args);
    return AppendText(state.file, text);
}

void LogFailure(int location, const wchar_t* text)
{
    AppendEntry(location, text, nullptr);
}

void LogFailure(int location, const wchar_t* format, DWORD code)
{
    AppendEntry(location, format, &code);
}

void ResetDetailLogForTesting()
{
    LogState& state = State();
    state.~LogState();
    new (&state) LogState();
}
