#include "tool_action.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <memory>

#include "action_calls.h"

// How the two kinds of action talk. A deferred action runs from the
// installation script, possibly as LocalSystem in another process, with a
// handle that reaches only CustomActionData, ProductCode and UserSID and
// MsiProcessMessage: it can neither set a property nor call MsiSetMode (the
// documented set of calls for deferred actions does not include it; Wine
// happens to accept it, Windows does not promise to). So the deferred action
// leaves an empty marker file beside the tool it ran, and an immediate action
// after InstallFinalize, which has the full session, finds it there, calls
// MsiSetMode(MSIRUNMODE_REBOOTATEND) and removes it. The program folder is
// the one place both know: the deferred action from the tool's path in its
// command line, the immediate action from the PINWHEELFOLDER property (in
// WiX, the Id of the program folder's Directory). The marker is also
// scheduled for deletion at the next restart (MoveFileEx), so one that an
// unprivileged immediate action could not remove still goes away with the
// restart it stands for, and never asks for a second one.
const wchar_t kRebootMarkerName[] = L"Pinwheel.RebootPending";
const wchar_t kFolderProperty[] = L"PINWHEELFOLDER";

namespace {

const wchar_t kQuietSwitch[] = L" /quiet";

// Stands for "no exit code" (the tool did not start, or could not be waited
// for): like any code but 0 and 1 it is a failed run.
const DWORD kNoExitCode = 0xFFFFFFFF;

// Heap text from the C runtime's malloc: operator new would bring the C++
// runtime's exception support into the library for nothing.
struct FreeText {
    void operator()(wchar_t* text) const { free(text); }
};
using Text = std::unique_ptr<wchar_t[], FreeText>;

Text AllocateText(size_t characters)
{
    Text text(static_cast<wchar_t*>(malloc(characters * sizeof(wchar_t))));
    if (text) {
        text[0] = L'\0';
    }
    return text;
}

class Record {
public:
    explicit Record(UINT fields) : m_handle(msica::MsiCreateRecord(fields)) {}
    ~Record()
    {
        if (m_handle != 0) {
            msica::MsiCloseHandle(m_handle);
        }
    }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    MSIHANDLE Get() const { return m_handle; }

private:
    MSIHANDLE m_handle;
};

class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle) : m_handle(handle) {}
    ~KernelHandle()
    {
        if (m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE) {
            msica::CloseHandle(m_handle);
        }
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// One line in the installer's log ("PinwheelMsi: <text>"). The text goes in a
// field of its own, so brackets in it are not read as a formatting template.
void LogLine(MSIHANDLE session, const wchar_t* format, ...)
{
    const size_t size = 2048;
    Text line = AllocateText(size);
    if (!line) {
        return;
    }
    va_list args;
    va_start(args, format);
    int length = _vsnwprintf(line.get(), size - 1, format, args);
    va_end(args);
    line[length < 0 ? size - 1 : static_cast<size_t>(length)] = L'\0';

    Record record(1);
    if (record.Get() == 0) {
        return;
    }
    msica::MsiRecordSetStringW(record.Get(), 0, L"PinwheelMsi: [1]");
    msica::MsiRecordSetStringW(record.Get(), 1, line.get());
    msica::MsiProcessMessage(session, INSTALLMESSAGE_INFO, record.Get());
}

// A property's value; an empty text when it is not set; null when the
// installer fails the call or memory runs out.
Text ReadProperty(MSIHANDLE session, const wchar_t* name)
{
    wchar_t probe[1] = L"";
    DWORD length = sizeof(probe) / sizeof(probe[0]);
    UINT status = msica::MsiGetPropertyW(session, name, probe, &length);
    if (status == ERROR_SUCCESS) {
        return AllocateText(1);
    }
    if (status != ERROR_MORE_DATA) {
        return nullptr;
    }
    DWORD size = length + 1;
    Text value = AllocateText(size);
    if (!value || msica::MsiGetPropertyW(session, name, value.get(), &size) != ERROR_SUCCESS) {
        return nullptr;
    }
    return value;
}

// The folder of the program that a command line starts (quoted or not), with
// its trailing backslash; empty when the path names no folder.
Text ProgramFolder(const wchar_t* commandLine)
{
    const wchar_t* start = commandLine;
    while (*start == L' ' || *start == L'\t') {
        ++start;
    }
    const wchar_t* end;
    if (*start == L'"') {
        ++start;
        end = wcschr(start, L'"');
    } else {
        end = wcspbrk(start, L" \t");
    }
    if (end == nullptr) {
        end = start + wcslen(start);
    }
    const wchar_t* folderEnd = start;
    for (const wchar_t* p = start; p < end; ++p) {
        if (*p == L'\\' || *p == L'/') {
            folderEnd = p + 1;
        }
    }
    const size_t length = static_cast<size_t>(folderEnd - start);
    Text folder = AllocateText(length + 1);
    if (folder) {
        wmemcpy(folder.get(), start, length);
        folder[length] = L'\0';
    }
    return folder;
}

// folder + the marker's name, with a backslash between when folder lacks one.
Text MarkerPath(const wchar_t* folder)
{
    const size_t length = wcslen(folder);
    const bool separated =
        length > 0 && (folder[length - 1] == L'\\' || folder[length - 1] == L'/');
    const size_t size = length + 1 + wcslen(kRebootMarkerName) + 1;
    Text path = AllocateText(size);
    if (path) {
        _snwprintf(path.get(), size, L"%ls%ls%ls", folder, separated ? L"" : L"\\",
                   kRebootMarkerName);
        path[size - 1] = L'\0';
    }
    return path;
}

bool LeaveRebootMarker(const wchar_t* folder)
{
    if (folder[0] == L'\0') {
        return false;
    }
    Text path = MarkerPath(folder);
    if (!path) {
        return false;
    }
    KernelHandle file(msica::CreateFileW(path.get(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Best effort: this needs administrator rights, which a deferred
    // no-impersonate action has.
    msica::MoveFileExW(path.get(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}

struct Outcome {
    UINT result;
    bool restart;
    const wchar_t* meaning;
};

Outcome MapExitCode(DWORD code, ToolPhase phase)
{
    if (code == 0) {
        return {ERROR_SUCCESS, false, L"done"};
    }
    if (code == 1) {
        return {ERROR_SUCCESS, true, L"done; the computer must be restarted"};
    }
    if (phase == ToolPhase::Install) {
        return {ERROR_INSTALL_FAILURE, false, L"failed; the installation rolls back"};
    }
    return {ERROR_SUCCESS, false,
            L"warning: the driver's device was not removed; the removal goes on"};
}

}  // namespace

UINT RunToolFromActionData(MSIHANDLE session, ToolPhase phase)
{
    Text data = ReadProperty(session, L"CustomActionData");
    if (!data || data[0] == L'\0') {
        LogLine(session,
                L"no command line in CustomActionData (set the property named after this "
                L"deferred action)");
        return ERROR_INSTALL_FAILURE;
    }

    // CreateProcessW may write into the command line, so it gets a copy.
    const size_t length = wcslen(data.get()) + wcslen(kQuietSwitch);
    Text commandLine = AllocateText(length + 1);
    Text folder = ProgramFolder(data.get());
    if (!commandLine || !folder) {
        LogLine(session, L"out of memory");
        return ERROR_INSTALL_FAILURE;
    }
    _snwprintf(commandLine.get(), length, L"%ls%ls", data.get(), kQuietSwitch);
    commandLine[length] = L'\0';

    // No window. The tool keeps the installer's current folder: had it the
    // program folder, its handle on that folder could still be open when a
    // removal deletes the emptied folder right after (Wine closes it late),
    // so CustomActionData names the INF by its full path.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!msica::CreateProcessW(nullptr, commandLine.get(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        const DWORD error = msica::GetLastError();
        const Outcome outcome = MapExitCode(kNoExitCode, phase);
        LogLine(session, L"cannot start %ls: error %lu; %ls", commandLine.get(), error,
                outcome.meaning);
        return outcome.result;
    }
    KernelHandle processHandle(process.hProcess);
    KernelHandle threadHandle(process.hThread);

    DWORD code = 0;
    if (msica::WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !msica::GetExitCodeProcess(process.hProcess, &code)) {
        const DWORD error = msica::GetLastError();
        const Outcome outcome = MapExitCode(kNoExitCode, phase);
        LogLine(session, L"%ls: no exit code, error %lu; %ls", commandLine.get(), error,
                outcome.meaning);
        return outcome.result;
    }

    const Outcome outcome = MapExitCode(code, phase);
    LogLine(session, L"%ls: exit code %lu, %ls", commandLine.get(), code, outcome.meaning);
    if (outcome.restart && !LeaveRebootMarker(folder.get())) {
        LogLine(session,
                L"cannot leave the restart marker in \"%ls\" (error %lu): restart the "
                L"computer to finish",
                folder.get(), msica::GetLastError());
    }
    return outcome.result;
}

UINT ScheduleRebootIfRequested(MSIHANDLE session)
{
    Text folder = ReadProperty(session, kFolderProperty);
    if (!folder || folder[0] == L'\0') {
        LogLine(session,
                L"the %ls property is not set: a restart Pinwheel.exe asked for is not "
                L"reported",
                kFolderProperty);
        return ERROR_SUCCESS;
    }
    Text marker = MarkerPath(folder.get());
    if (!marker) {
        LogLine(session, L"out of memory");
        return ERROR_SUCCESS;
    }
    if (msica::GetFileAttributesW(marker.get()) == INVALID_FILE_ATTRIBUTES) {
        return ERROR_SUCCESS;
    }
    const UINT status = msica::MsiSetMode(session, MSIRUNMODE_REBOOTATEND, TRUE);
    if (status == ERROR_SUCCESS) {
        LogLine(session, L"Pinwheel.exe asked for a restart: the computer must be restarted");
    } else {
        LogLine(session,
                L"Pinwheel.exe asked for a restart, and the installer refused it "
                L"(error %u): restart the computer to finish",
                status);
    }
    msica::DeleteFileW(marker.get());
    // After a removal the marker may have been the last file in the folder.
    // Only an empty folder is removed.
    msica::RemoveDirectoryW(folder.get());
    return ERROR_SUCCESS;
}
