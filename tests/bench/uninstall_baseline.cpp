// The floor under `Pinwheel.exe uninstall <hardware ID> <service>` when no
// present device carries the ID: the same Windows calls in the same order,
// written straight through, and nothing else. process_bench.exe times the
// tool against it, so whatever the tool costs beyond this program is the
// tool's own overhead (its start-up, its imports, its structure).
//
// Built twice: as is, importing what the tool imports (kernel32, advapi32,
// setupapi, msvcrt), and with BASELINE_WITH_USER32, which adds a user32
// import and nothing that runs, to show what that import alone costs.
//
// The steps follow the tool's files one by one (named above each step); when
// the tool's sequence changes, change the matching step here.
// The C headers first, as in the tool: after windows.h, mingw-w64's stdio.h
// would route the printf family through its own formatter instead of the
// runtime's.
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <windows.h>
#include <sddl.h>
#include <setupapi.h>

namespace {

// The tool's handle owners keep the last error across each release; the
// reads of the last error are platform calls too.
#define KEEPING_LAST_ERROR(release)         \
    do {                                    \
        const DWORD saved = GetLastError(); \
        release;                            \
        SetLastError(saved);                \
    } while (0)

// --- setup/devices/device_enumeration.cpp, device_property.cpp ------------

wchar_t Fold(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool ListHolds(const wchar_t* list, const wchar_t* id)
{
    for (const wchar_t* entry = list; *entry != L'\0'; entry += wcslen(entry) + 1) {
        size_t i = 0;
        while (id[i] != L'\0' && Fold(id[i]) == Fold(entry[i])) {
            ++i;
        }
        if (id[i] == entry[i]) {
            return true;
        }
    }
    return false;
}

// One identifier list of a device, read as the tool reads it: an 8 KiB
// offer first, a second read at the reported size when that is too small.
bool PropertyHolds(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const wchar_t* id)
{
    DWORD offered = 8192;
    wchar_t* buffer = static_cast<wchar_t*>(malloc(offered + 2 * sizeof(wchar_t)));
    while (buffer != nullptr) {
        DWORD type = 0;
        DWORD required = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, device, property, &type,
                                              reinterpret_cast<BYTE*>(buffer), offered,
                                              &required)) {
            if (required > offered) {
                required = offered;
            }
            buffer[required / 2] = L'\0';
            buffer[required / 2 + 1] = L'\0';
            const bool holds = ListHolds(buffer, id);
            free(buffer);
            return holds;
        }
        const bool tooSmall = GetLastError() == ERROR_INSUFFICIENT_BUFFER && type == REG_MULTI_SZ;
        free(buffer);
        if (!tooSmall) {
            return false;
        }
        offered = required;
        buffer = static_cast<wchar_t*>(malloc((required / 2 + 2) * sizeof(wchar_t)));
    }
    return false;
}

// The presence walk over every present device of every class.
bool AnyDeviceCarries(const wchar_t* id)
{
    HDEVINFO set = SetupDiGetClassDevsExW(nullptr, nullptr, nullptr,
                                          DIGCF_PRESENT | DIGCF_ALLCLASSES, nullptr, nullptr,
                                          nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool found = false;
    SP_DEVINFO_LIST_DETAIL_DATA_W details;
    details.cbSize = sizeof(details);
    if (SetupDiGetDeviceInfoListDetailW(set, &details)) {
        SP_DEVINFO_DATA device;
        device.cbSize = sizeof(device);
        for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
            // Both lists are read for every device, as the tool does.
            const bool byHardware = PropertyHolds(set, &device, SPDRP_HARDWAREID, id);
            const bool byCompatible = PropertyHolds(set, &device, SPDRP_COMPATIBLEIDS, id);
            found = found || byHardware || byCompatible;
        }
    }
    KEEPING_LAST_ERROR(SetupDiDestroyDeviceInfoList(set));
    return found;
}

// --- setup/run_lock.cpp ------------------------------------------------

// The machine-wide lock held across the device work, made with the tool's
// access rules.
HANDLE TakeRunLock()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
        descriptor = nullptr;
    }
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    HANDLE mutex = CreateMutexW(descriptor != nullptr ? &attributes : nullptr, FALSE,
                                L"Global\\PinwheelDeviceSetup");
    if (descriptor != nullptr) {
        KEEPING_LAST_ERROR(LocalFree(descriptor));
    }
    if (mutex != nullptr) {
        WaitForSingleObject(mutex, 5 * 60 * 1000);
    }
    return mutex;
}

void DropRunLock(HANDLE mutex)
{
    if (mutex != nullptr) {
        KEEPING_LAST_ERROR(ReleaseMutex(mutex));
        KEEPING_LAST_ERROR(CloseHandle(mutex));
    }
}

// --- setup/diagnostics/detail_log.cpp, file_reader.cpp ---------------------

const DWORD kFinalPathUnits = 2 * MAX_PATH;

// The log stays open to the end of the process and is closed at exit, as
// the tool's log object is.
struct LogHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~LogHandle()
    {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
} g_logHandle;
HANDLE& g_log = g_logHandle.handle;

// The tool's check that the log is its own folder's plain Detail.log: one
// link, no reparse point, and the final path of its folder plus the name.
bool IsOwnLog(const wchar_t* path, size_t folderLength)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(g_log, &information) || information.nNumberOfLinks != 1) {
        return false;
    }
    wchar_t folder[MAX_PATH];
    wmemcpy(folder, path, folderLength);
    folder[folderLength] = L'\0';
    HANDLE folderHandle =
        CreateFileW(folder, FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folderHandle == INVALID_HANDLE_VALUE) {
        return false;
    }
    wchar_t expected[kFinalPathUnits];
    wchar_t actual[kFinalPathUnits];
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD length = GetFinalPathNameByHandleW(folderHandle, expected, kFinalPathUnits, flags);
    bool own = length != 0 && length + 12 < kFinalPathUnits &&
               GetFinalPathNameByHandleW(g_log, actual, kFinalPathUnits, flags) != 0;
    if (own) {
        if (expected[length - 1] != L'\\') {
            expected[length++] = L'\\';
        }
        wcscpy(expected + length, L"Detail.log");
        own = CompareStringOrdinal(expected, -1, actual, -1, TRUE) == CSTR_EQUAL;
    }
    KEEPING_LAST_ERROR(CloseHandle(folderHandle));
    return own;
}

// Appends are serialised by a lock on one byte far past the content.
class AppendLock {
public:
    AppendLock() : m_overlapped()
    {
        m_overlapped.OffsetHigh = 0x7FFFFFFF;
        m_held = LockFileEx(g_log, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_overlapped) != FALSE;
    }
    ~AppendLock()
    {
        if (m_held) {
            KEEPING_LAST_ERROR(UnlockFileEx(g_log, 0, 1, 0, &m_overlapped));
        }
    }

private:
    OVERLAPPED m_overlapped;
    bool m_held;
};

void WriteAtEnd(const void* data, DWORD bytes)
{
    AppendLock lock;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(g_log, &size) || bytes == 0) {
        return;
    }
    DWORD written = 0;
    SetFilePointerEx(g_log, size, nullptr, FILE_BEGIN);
    WriteFile(g_log, data, bytes, &written, nullptr);
}

// Detail.log beside the executable, shared for reading and writing, opened
// or made in one step; a new one is given a byte-order mark.
void OpenLog()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    wchar_t* name = wcsrchr(path, L'\\');
    if (name == nullptr || (name + 1 - path) + 11 > MAX_PATH) {
        return;
    }
    wcscpy(name + 1, L"Detail.log");
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    g_log = CreateFileW(path, access, share, nullptr, OPEN_ALWAYS, flags, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) {
        return;
    }
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    if (!IsOwnLog(path, static_cast<size_t>(name + 1 - path))) {
        CloseHandle(g_log);
        g_log = INVALID_HANDLE_VALUE;
        return;
    }
    if (created) {
        static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
        WriteAtEnd(kByteOrderMark, sizeof(kByteOrderMark));
    }
}

// An entry: the place and the text, formatted into one buffer and written
// in one append.
void LogEntry(int location, const wchar_t* text)
{
    if (g_log == INVALID_HANDLE_VALUE) {
        OpenLog();
        if (g_log == INVALID_HANDLE_VALUE) {
            return;
        }
    }
    wchar_t entry[4096];
    int used = _snwprintf(entry, 4000, L"file:%s,line %d ", L".\\Pinwheel", location);
    used += _snwprintf(entry + used, 4000 - used, L"%s", text);
    wcscpy(entry + used, L"\r\n");
    WriteAtEnd(entry, static_cast<DWORD>((used + 2) * sizeof(wchar_t)));
}

// --- setup/devices/service_disable.cpp -------------------------------------

void DisableService(const wchar_t* service)
{
    static const wchar_t kServices[] = L"SYSTEM\\CurrentControlSet\\Services\\";
    const size_t prefix = wcslen(kServices);
    const size_t name = wcslen(service);
    wchar_t* path = static_cast<wchar_t*>(malloc((prefix + name + 1) * sizeof(wchar_t)));
    if (path == nullptr) {
        return;
    }
    wmemcpy(path, kServices, prefix);
    wmemcpy(path + prefix, service, name + 1);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WRITE, &key) ==
        ERROR_SUCCESS) {
        const DWORD disabled = 4;
        RegSetValueExW(key, L"start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&disabled),
                       sizeof(disabled));
        KEEPING_LAST_ERROR(RegCloseKey(key));
    } else {
        LogEntry(537, L"r.Open fail!");
        LogEntry(629, L"DisableMyService fail!");
    }
    free(path);
}

}  // namespace

// --- setup/main.cpp, setup/uninstall_procedure.cpp -------------------------

int wmain(int argc, wchar_t* argv[])
{
#ifdef BASELINE_WITH_USER32
    // Never true for the benchmark's command line; it only makes the
    // program import user32 as a program that can show a box does.
    if (argc > 1000) {
        MessageBoxW(nullptr, argv[0], L"Warning", MB_OK | MB_ICONWARNING);
    }
#endif
    if (argc < 4 || _wcsicmp(argv[1], L"install") == 0 || _wcsicmp(argv[1], L"uninstall") != 0 ||
        wcslen(argv[2]) == 0) {
        return 3;
    }
    // setup/diagnostics/console_output.cpp: the progress text goes out at
    // once.
    fputs("Uninstall driver,please wait...", stdout);
    fflush(stdout);
    HANDLE lock = TakeRunLock();
    if (!AnyDeviceCarries(argv[2])) {
        LogEntry(621, L"Uninstall Ok,But no device!");
    }
    DropRunLock(lock);
    DisableService(argv[3]);
    return 0;
}
