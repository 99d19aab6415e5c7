// Every system call of a whole run fails in turn. A run of the tool's entry
// (install or uninstall) against the simulated device services is counted
// once; then, for N = 1, 2, ... up to the number of calls it made, the same
// run is made again with exactly its Nth call failing, in each way that call
// can fail. After each run: a result of 0, 1 or 2, every handle, key,
// library, device set and allocation the run obtained released exactly once
// (and nothing released that it did not obtain), and a log of whole entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "diagnostics/detail_log.h"
#include "log_directory.h"
#include "simulated_devices.h"
#include "system_call_override.h"
#include "warning_box.h"

// The tool's entry, under a name of its own so that it can run here.
#define wmain RunPinwheelEntry
#include "main.cpp"
#undef wmain

namespace {

// ---------------------------------------------------------------------------
// How each entry fails. A row for every entry of the table is required: an
// entry added without one stops this file from compiling.

template <typename R, typename... A>
R ResultOf(R(WINAPI*)(A...));

template <typename R>
struct Way {
    R result;
    DWORD error;      // the last error it leaves; kKeepLastError: none
    bool carriedOut;  // a release: it is done, then reported as failed
};

template <auto& Entry>
struct WaysToFail;

// They only read or set a value of the thread; nothing about them can fail.
template <>
struct WaysToFail<win::GetLastError> {
    static constexpr bool kCanFail = false;
};
template <>
struct WaysToFail<win::SetLastError> {
    static constexpr bool kCanFail = false;
};

#define PINWHEEL_WAYS(name, ...)                                   \
    template <>                                                    \
    struct WaysToFail<win::name> {                                 \
        using R = decltype(ResultOf(win::name));                   \
        static constexpr bool kCanFail = true;                     \
        static const std::vector<Way<R>>& List()                   \
        {                                                          \
            static const std::vector<Way<R>> ways = {__VA_ARGS__}; \
            return ways;                                           \
        }                                                          \
    };

const bool kDone = true;  // for releases

// Files.
PINWHEEL_WAYS(CreateFileW, {INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, false})
PINWHEEL_WAYS(CloseHandle, {FALSE, ERROR_INVALID_HANDLE, kDone})
PINWHEEL_WAYS(ReadFile, {FALSE, ERROR_READ_FAULT, false})
PINWHEEL_WAYS(WriteFile, {FALSE, ERROR_DISK_FULL, false})
PINWHEEL_WAYS(SetFilePointerEx, {FALSE, ERROR_NEGATIVE_SEEK, false})
PINWHEEL_WAYS(GetFileSizeEx, {FALSE, ERROR_ACCESS_DENIED, false})
PINWHEEL_WAYS(SetEndOfFile, {FALSE, ERROR_DISK_FULL, false})
PINWHEEL_WAYS(GetFileAttributesW, {INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND, false})
PINWHEEL_WAYS(SetFileAttributesW, {FALSE, ERROR_ACCESS_DENIED, false})
PINWHEEL_WAYS(DeviceIoControl, {FALSE, ERROR_INVALID_FUNCTION, false})
PINWHEEL_WAYS(DeleteFileW, {FALSE, ERROR_ACCESS_DENIED, false})
// Zero, or a path cut to the buffer (its size returned).
PINWHEEL_WAYS(GetModuleFileNameW, {0, ERROR_NOT_ENOUGH_MEMORY, false},
              {MAX_PATH, ERROR_INSUFFICIENT_BUFFER, false})
PINWHEEL_WAYS(GetFileInformationByHandle, {FALSE, ERROR_INVALID_FUNCTION, false})
// Zero, or the size a longer buffer would need.
PINWHEEL_WAYS(GetFinalPathNameByHandleW, {0, ERROR_PATH_NOT_FOUND, false},
              {0x8000, kKeepLastError, false})
PINWHEEL_WAYS(LockFileEx, {FALSE, ERROR_NOT_SUPPORTED, false})
PINWHEEL_WAYS(UnlockFileEx, {FALSE, ERROR_NOT_LOCKED, kDone})
// The run lock: a wait that fails, one that times out, and one whose holder
// died (the lock is then held all the same).
PINWHEEL_WAYS(CreateMutexW, {nullptr, ERROR_ACCESS_DENIED, false})
PINWHEEL_WAYS(WaitForSingleObject, {WAIT_FAILED, ERROR_INVALID_HANDLE, false},
              {WAIT_TIMEOUT, kKeepLastError, false}, {WAIT_ABANDONED, kKeepLastError, kDone})
PINWHEEL_WAYS(ReleaseMutex, {FALSE, ERROR_NOT_OWNER, kDone})
PINWHEEL_WAYS(ConvertStringSecurityDescriptorToSecurityDescriptorW,
              {FALSE, ERROR_INVALID_PARAMETER, false})
// Paths, strings, libraries. A full path too long for the buffer comes back
// as its needed size with no error; a library whose search flag is refused
// (Windows 7 without its update) as ERROR_INVALID_PARAMETER.
PINWHEEL_WAYS(GetFullPathNameW, {0, ERROR_INVALID_NAME, false},
              {MAX_PATH + 1, kKeepLastError, false})
PINWHEEL_WAYS(lstrcpynW, {nullptr, kKeepLastError, false})
PINWHEEL_WAYS(CompareStringOrdinal, {0, ERROR_INVALID_PARAMETER, false})
PINWHEEL_WAYS(GetSystemDirectoryW, {0, ERROR_NOT_ENOUGH_MEMORY, false},
              {MAX_PATH + 1, kKeepLastError, false})
PINWHEEL_WAYS(LoadLibraryExW, {nullptr, ERROR_MOD_NOT_FOUND, false},
              {nullptr, ERROR_INVALID_PARAMETER, false})
PINWHEEL_WAYS(GetProcAddress, {nullptr, ERROR_PROC_NOT_FOUND, false})
PINWHEEL_WAYS(FreeLibrary, {FALSE, ERROR_INVALID_HANDLE, kDone})
// Console and messages. LocalFree fails by giving its handle back.
PINWHEEL_WAYS(FormatMessageW, {0, ERROR_MR_MID_NOT_FOUND, false})
PINWHEEL_WAYS(LocalFree, {nullptr, ERROR_INVALID_HANDLE, kDone})
PINWHEEL_WAYS(GetStdHandle, {INVALID_HANDLE_VALUE, ERROR_INVALID_HANDLE, false})
PINWHEEL_WAYS(GetConsoleMode, {FALSE, ERROR_INVALID_HANDLE, false})
PINWHEEL_WAYS(GetConsoleOutputCP, {0, ERROR_INVALID_HANDLE, false})
PINWHEEL_WAYS(WriteConsoleW, {FALSE, ERROR_INVALID_HANDLE, false})
PINWHEEL_WAYS(WideCharToMultiByte, {0, ERROR_INSUFFICIENT_BUFFER, false})
// The registry returns its status.
PINWHEEL_WAYS(RegOpenKeyExW, {ERROR_FILE_NOT_FOUND, kKeepLastError, false},
              {ERROR_ACCESS_DENIED, kKeepLastError, false})
PINWHEEL_WAYS(RegSetValueExW, {ERROR_ACCESS_DENIED, kKeepLastError, false})
PINWHEEL_WAYS(RegCloseKey, {ERROR_INVALID_HANDLE, kKeepLastError, kDone})
// Device installation; the configuration manager returns its status.
PINWHEEL_WAYS(SetupDiGetClassDevsExW, {INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, false})
PINWHEEL_WAYS(SetupDiGetDeviceInfoListDetailW, {FALSE, ERROR_INVALID_HANDLE, false})
PINWHEEL_WAYS(SetupDiEnumDeviceInfo, {FALSE, ERROR_INVALID_HANDLE, false})
PINWHEEL_WAYS(SetupDiGetDeviceRegistryPropertyW, {FALSE, ERROR_INVALID_DATA, false})
PINWHEEL_WAYS(SetupDiSetDeviceRegistryPropertyW, {FALSE, ERROR_ACCESS_DENIED, false})
PINWHEEL_WAYS(SetupDiDestroyDeviceInfoList, {FALSE, ERROR_INVALID_HANDLE, kDone})
PINWHEEL_WAYS(SetupDiGetINFClassW, {FALSE, ERROR_FILE_NOT_FOUND, false})
PINWHEEL_WAYS(SetupDiCreateDeviceInfoList, {INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY, false})
PINWHEEL_WAYS(SetupDiCreateDeviceInfoW, {FALSE, ERROR_DEVINST_ALREADY_EXISTS, false})
PINWHEEL_WAYS(SetupDiCallClassInstaller, {FALSE, ERROR_ACCESS_DENIED, false})
PINWHEEL_WAYS(SetupDiSetClassInstallParamsW, {FALSE, ERROR_INVALID_PARAMETER, false})
PINWHEEL_WAYS(SetupDiGetDeviceInstallParamsW, {FALSE, ERROR_INVALID_HANDLE, false})
PINWHEEL_WAYS(CM_Get_Device_ID_ExW, {CR_FAILURE, kKeepLastError, false})

#undef PINWHEEL_WAYS

// ---------------------------------------------------------------------------
// What a run obtained and released. Each release must match one thing
// obtained and not yet released; whatever is left at the end was leaked.

enum Kind { kHandle, kRegistryKey, kLibrary, kDeviceSet, kLocalMemory, kLockHeld, kFileLock };
const char* const kKindNames[] = {"handle",           "registry key",  "library",  "device set",
                                  "local allocation", "run lock held", "file lock"};

class Resources {
public:
    void Obtained(Kind kind, const void* value, const char* by)
    {
        if (!m_live.emplace(std::make_pair(kind, value), by).second) {
            m_problems.push_back(std::string(kKindNames[kind]) + " obtained twice, by " + by);
        }
    }
    void Released(Kind kind, const void* value, const char* by)
    {
        if (m_live.erase(std::make_pair(kind, value)) == 0) {
            m_problems.push_back(std::string(by) + " of a " + kKindNames[kind] +
                                 " not held (released twice, or never obtained)");
        }
    }
    // Problems and leftovers; empty when everything balanced.
    std::string Report() const
    {
        std::string report;
        for (const std::string& problem : m_problems) {
            report += "\n    " + problem;
        }
        for (const auto& live : m_live) {
            report += std::string("\n    ") + kKindNames[live.first.first] + " from " +
                      live.second + " never released";
        }
        return report;
    }
    // Gives back what the run left, so that the runs after it start clean.
    void ReleaseLeftovers()
    {
        for (const auto& live : m_live) {
            void* value = const_cast<void*>(live.first.second);
            switch (live.first.first) {
                case kHandle:
                    ::CloseHandle(value);
                    break;
                case kRegistryKey:
                    ::RegCloseKey(static_cast<HKEY>(value));
                    break;
                case kLocalMemory:
                    ::LocalFree(value);
                    break;
                case kLockHeld:
                    ::ReleaseMutex(value);
                    break;
                default:  // simulated, or gone with the file's handle
                    break;
            }
        }
        m_live.clear();
    }

private:
    std::map<std::pair<Kind, const void*>, std::string> m_live;
    std::vector<std::string> m_problems;
};

Resources* g_resources;

HANDLE WINAPI TrackCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE model)
{
    HANDLE file =
        Override<win::CreateFileW>::Next()(path, access, share, sa, disposition, flags, model);
    if (file != INVALID_HANDLE_VALUE) {
        g_resources->Obtained(kHandle, file, "CreateFileW");
    }
    return file;
}

HANDLE WINAPI TrackCreateMutex(LPSECURITY_ATTRIBUTES sa, BOOL owned, LPCWSTR name)
{
    HANDLE mutex = Override<win::CreateMutexW>::Next()(sa, owned, name);
    if (mutex != nullptr) {
        g_resources->Obtained(kHandle, mutex, "CreateMutexW");
    }
    return mutex;
}

BOOL WINAPI TrackCloseHandle(HANDLE handle)
{
    g_resources->Released(kHandle, handle, "CloseHandle");
    return Override<win::CloseHandle>::Next()(handle);
}

DWORD WINAPI TrackWait(HANDLE handle, DWORD milliseconds)
{
    const DWORD wait = Override<win::WaitForSingleObject>::Next()(handle, milliseconds);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        g_resources->Obtained(kLockHeld, handle, "WaitForSingleObject");
    }
    return wait;
}

BOOL WINAPI TrackReleaseMutex(HANDLE mutex)
{
    g_resources->Released(kLockHeld, mutex, "ReleaseMutex");
    return Override<win::ReleaseMutex>::Next()(mutex);
}

LSTATUS WINAPI TrackRegOpen(HKEY parent, LPCWSTR path, DWORD options, REGSAM access, PHKEY key)
{
    const LSTATUS status = Override<win::RegOpenKeyExW>::Next()(parent, path, options, access, key);
    if (status == ERROR_SUCCESS) {
        g_resources->Obtained(kRegistryKey, *key, "RegOpenKeyExW");
    }
    return status;
}

LSTATUS WINAPI TrackRegClose(HKEY key)
{
    g_resources->Released(kRegistryKey, key, "RegCloseKey");
    return Override<win::RegCloseKey>::Next()(key);
}

HMODULE WINAPI TrackLoadLibrary(LPCWSTR name, HANDLE file, DWORD flags)
{
    HMODULE module = Override<win::LoadLibraryExW>::Next()(name, file, flags);
    if (module != nullptr) {
        g_resources->Obtained(kLibrary, module, "LoadLibraryExW");
    }
    return module;
}

BOOL WINAPI TrackFreeLibrary(HMODULE module)
{
    g_resources->Released(kLibrary, module, "FreeLibrary");
    return Override<win::FreeLibrary>::Next()(module);
}

HDEVINFO WINAPI TrackGetClassDevs(const GUID* guid, PCWSTR enumerator, HWND parent, DWORD flags,
                                  HDEVINFO existing, PCWSTR machine, PVOID reserved)
{
    HDEVINFO set = Override<win::SetupDiGetClassDevsExW>::Next()(guid, enumerator, parent, flags,
                                                                 existing, machine, reserved);
    if (set != INVALID_HANDLE_VALUE) {
        g_resources->Obtained(kDeviceSet, set, "SetupDiGetClassDevsExW");
    }
    return set;
}

HDEVINFO WINAPI TrackCreateList(const GUID* guid, HWND parent)
{
    HDEVINFO list = Override<win::SetupDiCreateDeviceInfoList>::Next()(guid, parent);
    if (list != INVALID_HANDLE_VALUE) {
        g_resources->Obtained(kDeviceSet, list, "SetupDiCreateDeviceInfoList");
    }
    return list;
}

BOOL WINAPI TrackDestroyList(HDEVINFO set)
{
    g_resources->Released(kDeviceSet, set, "SetupDiDestroyDeviceInfoList");
    return Override<win::SetupDiDestroyDeviceInfoList>::Next()(set);
}

DWORD WINAPI TrackFormatMessage(DWORD flags, LPCVOID source, DWORD id, DWORD language,
                                LPWSTR buffer, DWORD size, va_list* args)
{
    const DWORD length =
        Override<win::FormatMessageW>::Next()(flags, source, id, language, buffer, size, args);
    if (length != 0 && (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        g_resources->Obtained(kLocalMemory, *reinterpret_cast<LPWSTR*>(buffer), "FormatMessageW");
    }
    return length;
}

BOOL WINAPI TrackSecurityDescriptor(LPCWSTR text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor,
                                    PULONG size)
{
    const BOOL made = Override<win::ConvertStringSecurityDescriptorToSecurityDescriptorW>::Next()(
        text, revision, descriptor, size);
    if (made) {
        g_resources->Obtained(kLocalMemory, *descriptor,
                              "ConvertStringSecurityDescriptorToSecurityDescriptorW");
    }
    return made;
}

HLOCAL WINAPI TrackLocalFree(HLOCAL memory)
{
    g_resources->Released(kLocalMemory, memory, "LocalFree");
    return Override<win::LocalFree>::Next()(memory);
}

BOOL WINAPI TrackLock(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high,
                      LPOVERLAPPED overlapped)
{
    const BOOL locked =
        Override<win::LockFileEx>::Next()(file, flags, reserved, low, high, overlapped);
    if (locked) {
        g_resources->Obtained(kFileLock, file, "LockFileEx");
    }
    return locked;
}

BOOL WINAPI TrackUnlock(HANDLE file, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED overlapped)
{
    g_resources->Released(kFileLock, file, "UnlockFileEx");
    return Override<win::UnlockFileEx>::Next()(file, reserved, low, high, overlapped);
}

// The tracking layers, below the failing one: a call failed before it is
// made obtains nothing.
class TrackedResources {
public:
    TrackedResources()
    {
        g_resources = &resources;
        m_layers.Add<win::CreateFileW>(&TrackCreateFile);
        m_layers.Add<win::CreateMutexW>(&TrackCreateMutex);
        m_layers.Add<win::CloseHandle>(&TrackCloseHandle);
        m_layers.Add<win::WaitForSingleObject>(&TrackWait);
        m_layers.Add<win::ReleaseMutex>(&TrackReleaseMutex);
        m_layers.Add<win::RegOpenKeyExW>(&TrackRegOpen);
        m_layers.Add<win::RegCloseKey>(&TrackRegClose);
        m_layers.Add<win::LoadLibraryExW>(&TrackLoadLibrary);
        m_layers.Add<win::FreeLibrary>(&TrackFreeLibrary);
        m_layers.Add<win::SetupDiGetClassDevsExW>(&TrackGetClassDevs);
        m_layers.Add<win::SetupDiCreateDeviceInfoList>(&TrackCreateList);
        m_layers.Add<win::SetupDiDestroyDeviceInfoList>(&TrackDestroyList);
        m_layers.Add<win::FormatMessageW>(&TrackFormatMessage);
        m_layers.Add<win::ConvertStringSecurityDescriptorToSecurityDescriptorW>(
            &TrackSecurityDescriptor);
        m_layers.Add<win::LocalFree>(&TrackLocalFree);
        m_layers.Add<win::LockFileEx>(&TrackLock);
        m_layers.Add<win::UnlockFileEx>(&TrackUnlock);
    }
    ~TrackedResources()
    {
        m_layers.Clear();
        g_resources = nullptr;
    }

    Resources resources;

private:
    OverrideSet m_layers;
};

// ---------------------------------------------------------------------------
// The counting and failing layer, on top of every entry.

int IndexOfEntry(const void* entry)
{
    for (unsigned i = 0; i < win::kSystemCallCount; ++i) {
        if (win::kSystemCalls[i].entry == entry) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

template <auto& Entry>
int EntryIndex()
{
    static const int index = IndexOfEntry(&Entry);
    return index;
}

// Beyond this many calls a run is taken to be stuck in a loop: every later
// call fails, which ends any loop that a failure ends.
const int kRunawayCalls = 20000;

struct Sweep {
    int failAt = 0;  // the number of the call to fail; 0: none
    size_t way = 0;  // which of its entry's ways
    // What the run made: the entry of each failable call in order, how many
    // calls there were in all (those that cannot fail included), and where
    // each call came from.
    std::vector<int> sequence;
    int allCalls = 0;
    bool failed = false;
    bool runaway = false;
    std::set<std::pair<int, const void*>> sites;
};
Sweep* g_sweep;

template <auto& Entry>
constexpr bool IsLocalFree()
{
    return static_cast<const void*>(&Entry) == static_cast<const void*>(&win::LocalFree);
}

template <auto& Entry, typename Fn = std::remove_reference_t<decltype(Entry)>>
struct Counted;

template <auto& Entry, typename R, typename... A>
struct Counted<Entry, R(WINAPI*)(A...)> {
    static R WINAPI Thunk(A... args)
    {
        Sweep& sweep = *g_sweep;
        ++sweep.allCalls;
        if constexpr (WaysToFail<Entry>::kCanFail) {
            sweep.sequence.push_back(EntryIndex<Entry>());
            sweep.sites.emplace(EntryIndex<Entry>(), Override<Entry>::Caller());
            const int number = static_cast<int>(sweep.sequence.size());
            if (number > kRunawayCalls) {
                sweep.runaway = true;
            }
            if (number == sweep.failAt || sweep.runaway) {
                const Way<R>& way =
                    WaysToFail<Entry>::List()[number == sweep.failAt ? sweep.way : 0];
                sweep.failed = true;
                if (way.carriedOut) {
                    Override<Entry>::Next()(args...);
                }
                if (way.error != kKeepLastError) {
                    ::SetLastError(way.error);
                }
                if constexpr (IsLocalFree<Entry>()) {
                    return (args, ...);  // the memory it could not free
                } else {
                    return way.result;
                }
            }
        }
        return Override<Entry>::Next()(args...);
    }
};

class CountedCalls {
public:
    explicit CountedCalls(Sweep& sweep)
    {
        g_sweep = &sweep;
#define PINWHEEL_COUNT_ENTRY(name) m_layers.Add<win::name>(&Counted<win::name>::Thunk);
        PINWHEEL_SYSTEM_CALLS(PINWHEEL_COUNT_ENTRY)
#undef PINWHEEL_COUNT_ENTRY
    }
    ~CountedCalls()
    {
        m_layers.Clear();
        g_sweep = nullptr;
    }

private:
    OverrideSet m_layers;
};

template <auto& Entry>
size_t WaysOf()
{
    if constexpr (WaysToFail<Entry>::kCanFail) {
        return WaysToFail<Entry>::List().size();
    } else {
        return 0;
    }
}

// How many ways the entry at this index of the table has.
size_t WayCount(int entry)
{
    static const size_t counts[] = {
#define PINWHEEL_WAY_COUNT(name) WaysOf<win::name>(),
        PINWHEEL_SYSTEM_CALLS(PINWHEEL_WAY_COUNT)
#undef PINWHEEL_WAY_COUNT
    };
    return counts[entry];
}

// ---------------------------------------------------------------------------
// The runs.

struct Scenario {
    const char* name;
    bool install;
    bool quiet;
    int result;  // without any failure
    void (*arrange)(SimulatedDevices& sim);
    int situation;
};
// What else the run meets: a log that a cut-off write of an earlier run left
// ending in half a character; standard output on a console.
const int kPlain = 0;
const int kTornLog = 1;
const int kConsole = 2;

const Scenario kScenarios[] = {
    {"install, no device: installs", true, false, 0,
     [](SimulatedDevices& sim) {
         sim.Add(MultiSz({L"ROOT\\Other"}));
     },
     kPlain},
    {"install, device present: refused with a box", true, false, 0,
     [](SimulatedDevices& sim) {
         sim.Add(MultiSz({L"PCI\\X"}), MultiSz({L"root\\demo"}));
     },
     kPlain},
    {"install on a console, needing a restart: box", true, false, 1,
     [](SimulatedDevices& sim) {
         sim.updateNeedsRestart = TRUE;
     },
     kConsole},
    {"quiet install whose driver update fails", true, true, 2,
     [](SimulatedDevices& sim) {
         sim.updateSucceeds = FALSE;
         sim.updateError = ERROR_ACCESS_DENIED;
     },
     kPlain},
    {"uninstall, removable devices, one asking for a restart", false, false, 1,
     [](SimulatedDevices& sim) {
         sim.Add(MultiSz({L"ROOT\\Demo"})).flagsAfterRemove = DI_NEEDRESTART;
         sim.Add(MultiSz({L"ROOT\\Other"}));
         sim.Add(MultiSz({L"X"}), MultiSz({L"ROOT\\DEMO"}));
     },
     kPlain},
    {"uninstall, no device", false, false, 0,
     [](SimulatedDevices& sim) {
         sim.Add(MultiSz({L"ROOT\\Other"}));
     },
     kPlain},
    {"uninstall, device that cannot be removed: box", false, false, 2,
     [](SimulatedDevices& sim) {
         sim.Add(MultiSz({L"ROOT\\Demo"})).removable = false;
     },
     kPlain},
    {"uninstall, no device, into a log cut mid-character", false, false, 0,
     [](SimulatedDevices& sim) {
         sim.Add(MultiSz({L"ROOT\\Other"}));
     },
     kTornLog},
};

const wchar_t kHardwareId[] = L"ROOT\\Demo";

// A console that takes every text whole.
BOOL WINAPI ConsoleMode(HANDLE, LPDWORD mode)
{
    *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
}
BOOL WINAPI ConsoleWrite(HANDLE, const VOID*, DWORD units, LPDWORD written, LPVOID)
{
    *written = units;
    return TRUE;
}

class FailureSweepTest : public ::testing::Test {
protected:
    FailureSweepTest()
        : m_folder(FreshTestDirectory(L"FailureSweepTest")),
          m_inf(m_folder + L"\\demo.inf"),
          m_service(L"PinwheelSweep" + std::to_wstring(GetCurrentProcessId()))
    {
        WriteFileBytes(m_inf, "[Version]\r\n");
        // A real service key for the uninstall to disable.
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServiceKey().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        if (key != nullptr) {
            RegCloseKey(key);
        }
    }
    ~FailureSweepTest() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, ServiceKey().c_str()); }

    std::wstring ServiceKey() const { return L"SYSTEM\\CurrentControlSet\\Services\\" + m_service; }

    struct Outcome {
        int result = -1;
        std::string problems;  // empty: everything held
    };

    // One whole run of the entry with `sweep` set up, from the start of the
    // process to its end (the log is closed as process exit closes it).
    Outcome Run(const Scenario& scenario, Sweep& sweep)
    {
        Outcome outcome;
        LogDirectory log;
        const bool torn = (scenario.situation & kTornLog) != 0;
        const std::string earlier =
            torn ? NewLog(Entry(554, L"Invalid Parameter!")) + "f" : std::string();
        if (torn) {
            WriteFileBytes(log.LogPath(), earlier);
        }
        SimulatedDevices sim;
        scenario.arrange(sim);
        RecordedBoxes boxes;
        OverrideSet console;
        if ((scenario.situation & kConsole) != 0) {
            console.Add<win::GetConsoleMode>(&ConsoleMode);
            console.Add<win::WriteConsoleW>(&ConsoleWrite);
        }
        {
            TrackedResources tracked;
            std::vector<std::wstring> arguments = {
                L"Pinwheel.exe", scenario.install ? L"install" : L"uninstall", kHardwareId,
                scenario.install ? m_inf : m_service};
            if (scenario.quiet) {
                arguments.push_back(L"/quiet");
            }
            std::vector<wchar_t*> argv;
            for (std::wstring& argument : arguments) {
                argv.push_back(&argument[0]);
            }
            argv.push_back(nullptr);
            {
                CountedCalls counted(sweep);
                CapturedStdout out;
                outcome.result = RunPinwheelEntry(static_cast<int>(arguments.size()), argv.data());
                ResetDetailLogForTesting();
            }
            std::string report = tracked.resources.Report();
            tracked.resources.ReleaseLeftovers();
            if (!report.empty()) {
                outcome.problems += "\n  resources:" + report;
            }
        }
        if (outcome.result < 0 || outcome.result > 2) {
            outcome.problems += "\n  result " + std::to_string(outcome.result);
        }
        ::testing::AssertionResult balanced = sim.Balanced();
        if (!balanced) {
            outcome.problems += std::string("\n  device services: ") + balanced.message();
        }
        if (boxes.loads != boxes.frees) {
            outcome.problems += "\n  user interface loaded " + std::to_string(boxes.loads) +
                                " times, freed " + std::to_string(boxes.frees);
        }
        // What this run appended: whole entries, after a NUL that completes
        // the half character when the file had one.
        std::string appended = log.Bytes();
        if (appended.compare(0, earlier.size(), earlier) != 0) {
            outcome.problems += "\n  log: what earlier runs wrote has changed";
        }
        appended.erase(0, earlier.size());
        if (earlier.size() % 2 != 0 && !appended.empty()) {
            if (appended[0] != '\0') {
                outcome.problems += "\n  log: the half character was not completed";
            }
            appended.erase(0, 1);
        }
        ::testing::AssertionResult whole = DecodeLog(appended, nullptr);
        if (!whole) {
            outcome.problems += std::string("\n  log: ") + whole.message();
        }
        if (sweep.runaway) {
            outcome.problems += "\n  more than " + std::to_string(kRunawayCalls) + " calls";
        }
        // Hundreds of runs: their folders go with them.
        DeleteFileW(log.LogPath().c_str());
        RemoveDirectoryW(log.Path().c_str());
        return outcome;
    }

    std::wstring m_folder;
    std::wstring m_inf;
    std::wstring m_service;
};

std::string Describe(const Scenario& scenario, int number, int entry, size_t way, size_t ways)
{
    std::string text = std::string(scenario.name) + ": call " + std::to_string(number) + " (" +
                       win::kSystemCalls[entry].name;
    if (ways > 1) {
        text += ", way " + std::to_string(way + 1) + " of " + std::to_string(ways);
    }
    return text + ") failed";
}

TEST_F(FailureSweepTest, EveryCallOfEveryRunFailsInTurnAndTheRunEndsClean)
{
    std::set<std::pair<int, const void*>> sites;
    std::set<int> entries;
    int runs = 0;
    int reported = 0;
    const int kMostReported = 25;
    printf("[ figures  ] %-56s %6s %6s %6s\n", "run", "calls", "+errs", "runs");
    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.name);
        Sweep counting;
        const Outcome plain = Run(scenario, counting);
        ASSERT_EQ(scenario.result, plain.result) << "the run without failures";
        ASSERT_EQ("", plain.problems) << "the run without failures";
        sites.insert(counting.sites.begin(), counting.sites.end());

        int scenarioRuns = 0;
        const int calls = static_cast<int>(counting.sequence.size());
        for (int number = 1; number <= calls; ++number) {
            const int entry = counting.sequence[number - 1];
            entries.insert(entry);
            const size_t ways = WayCount(entry);
            for (size_t way = 0; way < ways; ++way) {
                Sweep sweep;
                sweep.failAt = number;
                sweep.way = way;
                Outcome outcome = Run(scenario, sweep);
                ++scenarioRuns;
                sites.insert(sweep.sites.begin(), sweep.sites.end());
                // Everything before the failure is the same run again.
                if (static_cast<int>(sweep.sequence.size()) < number ||
                    !std::equal(counting.sequence.begin(), counting.sequence.begin() + number,
                                sweep.sequence.begin()) ||
                    !sweep.failed) {
                    outcome.problems += "\n  the run went another way before the failure";
                }
                if (!outcome.problems.empty() && reported++ < kMostReported) {
                    ADD_FAILURE() << Describe(scenario, number, entry, way, ways)
                                  << outcome.problems;
                }
            }
        }
        runs += scenarioRuns;
        printf("[ figures  ] %-56s %6d %6d %6d\n", scenario.name, calls, counting.allCalls - calls,
               scenarioRuns);
    }
    EXPECT_LE(reported, kMostReported) << "more runs failed than are shown";

    // Where the calls came from: the return addresses of the calls that the
    // code under test made, inlined copies counted apart.
    std::set<const void*> callers;
    for (const auto& site : sites) {
        callers.insert(site.second);
    }
    printf("[ figures  ] %d runs; %zu entries failed; %zu call sites reached\n", runs,
           entries.size(), callers.size());
    RecordProperty("runs", runs);
    RecordProperty("call_sites", static_cast<int>(callers.size()));
    if (GetEnvironmentVariableW(L"PINWHEEL_SWEEP_SITES", nullptr, 0) != 0) {
        const auto base = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
        for (const auto& site : sites) {
            printf("[ site     ] %s +0x%llx\n", win::kSystemCalls[site.first].name,
                   static_cast<unsigned long long>(static_cast<const char*>(site.second) - base));
        }
    }
}

}  // namespace
