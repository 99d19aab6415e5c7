// Simulated device installation services for the setup tool's unit tests.
// While an instance lives, the tool's SetupAPI, configuration-manager and
// newdev entries talk to it instead of Windows: a list of devices with raw
// REG_MULTI_SZ identifier values, a record of every call with the arguments
// that matter, and counts of what was built and released. Any call can still
// be failed on top of it with Fail<>.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include "system_call_override.h"
#include "system_calls.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <initializer_list>
#include <string>
#include <vector>

typedef std::vector<BYTE> Bytes;

// The REG_MULTI_SZ bytes of a list of identifiers: each with its NUL, then
// the NUL that ends the list.
Bytes MultiSz(std::initializer_list<std::wstring> ids);
// UTF-16LE bytes exactly as given (for values without their terminators).
Bytes RawUtf16(const std::wstring& text);

struct SimDevice {
    Bytes hardwareIds;
    Bytes compatibleIds;
    bool hardwareIdsReadable = true;
    bool compatibleIdsReadable = true;
    bool present = true;
    bool instanceIdReadable = true;
    bool removable = true;       // DIF_REMOVE succeeds
    DWORD flagsAfterRemove = 0;  // install flags read after removal
    bool installParamsReadable = true;
    bool removed = false;
};

class SimulatedDevices {
public:
    SimulatedDevices();
    ~SimulatedDevices();
    SimulatedDevices(const SimulatedDevices&) = delete;
    SimulatedDevices& operator=(const SimulatedDevices&) = delete;

    // Adds a present device with these hardware and compatible IDs.
    SimDevice& Add(const Bytes& hardwareIds, const Bytes& compatibleIds = Bytes());

    std::vector<SimDevice> devices;
    // Every call, as "Name(arguments that matter)", in order (unless
    // recordCalls is off, as benchmarks want).
    std::vector<std::string> calls;
    bool recordCalls = true;
    // Runs on every property read (benchmarks sample memory there).
    std::function<void()> onPropertyRead;
    // Runs just before a device set is built; its argument counts the builds.
    std::function<void(int build)> beforeBuild;

    // What SetupDiGetINFClassW reports.
    GUID infClassGuid;
    std::wstring infClassName = L"PinwheelDemo";

    // The driver-update service of newdev.
    bool newdevLoads = true;
    bool newdevHasExport = true;
    BOOL updateSucceeds = TRUE;
    DWORD updateError = 0;
    BOOL updateNeedsRestart = FALSE;

    // Bookkeeping, checked by Balanced().
    int setsBuilt = 0;
    int listsCreated = 0;
    int destroyed = 0;
    int badDestroys = 0;  // of a handle not live
    int badRecords = 0;   // a record whose cbSize was not its sizeof
    int librariesLoaded = 0;
    int librariesFreed = 0;

    // What the install step stored and asked for.
    Bytes storedHardwareIds;
    std::wstring updateHardwareId;
    std::wstring updateInfPath;
    DWORD updateFlags = 0;
    std::wstring createdName;
    DWORD createFlags = 0;

    // Every set and list destroyed exactly once, every library freed once,
    // every record with its proper size.
    ::testing::AssertionResult Balanced() const;

    static SimulatedDevices* Current();

private:
    OverrideSet m_overrides;
    SimulatedDevices* m_previous;
};

// Stands in for the user-interface library, which the tool loads from the
// system folder only when it shows a box: records the boxes instead of
// showing them, and reports a window station that is visible or not.
struct ShownBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};
class RecordedBoxes {
public:
    RecordedBoxes();
    ~RecordedBoxes();
    RecordedBoxes(const RecordedBoxes&) = delete;
    RecordedBoxes& operator=(const RecordedBoxes&) = delete;

    std::vector<ShownBox> boxes;
    // The box texts only, in order.
    std::vector<std::wstring> Texts() const;

    // Runs as each box is shown, before it is recorded.
    std::function<void()> onBox;
    // What the process's window station reports (WSF_VISIBLE or not).
    bool stationVisible = true;
    // The user-interface library: names asked for, loads and frees.
    std::vector<std::wstring> libraryNames;
    int loads = 0;
    int frees = 0;

private:
    OverrideSet m_overrides;
    RecordedBoxes* m_previous;
};

// Captures what the process writes to standard output, from construction to
// the first call of Text(), which gives the standard output back (so that
// the test's own messages are seen again) and returns what was written.
class CapturedStdout {
public:
    CapturedStdout();
    ~CapturedStdout();
    std::string Text();

private:
    void Stop();

    int m_saved;
    std::wstring m_path;
    bool m_stopped = false;
    std::string m_text;
};
