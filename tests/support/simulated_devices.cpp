#include "simulated_devices.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <newdev.h>

#include "warning_box.h"

#include <set>
#include <sstream>

namespace {

SimulatedDevices* g_sim;
std::set<HDEVINFO> g_live;
std::set<HDEVINFO> g_sets;  // walk sets, as opposed to install lists
int g_nextHandle;
DWORD g_pendingDevInst;
const DWORD kFirstDevInst = 100;
HMODULE const kNewdev = reinterpret_cast<HMODULE>(0x7E57000);

std::string Narrow(const wchar_t* text)
{
    if (text == nullptr) {
        return "null";
    }
    std::string out;
    for (; *text; ++text) {
        out += *text < 128 ? static_cast<char>(*text) : '?';
    }
    return out;
}

void Record(const std::string& call)
{
    if (g_sim->recordCalls) {
        g_sim->calls.push_back(call);
    }
}

SimDevice* DeviceOf(const SP_DEVINFO_DATA* data)
{
    if (data == nullptr || data->DevInst < kFirstDevInst ||
        data->DevInst - kFirstDevInst >= g_sim->devices.size()) {
        return nullptr;
    }
    return &g_sim->devices[data->DevInst - kFirstDevInst];
}

void CheckSize(DWORD cbSize, size_t expected)
{
    if (cbSize != expected) {
        ++g_sim->badRecords;
    }
}

HDEVINFO NewHandle()
{
    HDEVINFO handle = reinterpret_cast<HDEVINFO>(static_cast<INT_PTR>(0x5E70000 + ++g_nextHandle));
    g_live.insert(handle);
    return handle;
}

// Each walk set holds the devices present when it was built.
std::vector<std::vector<size_t>> g_members;

HDEVINFO WINAPI GetClassDevsEx(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags,
                               HDEVINFO existing, PCWSTR machine, PVOID reserved)
{
    std::ostringstream call;
    call << "SetupDiGetClassDevsExW(class=" << (classGuid ? "set" : "null")
         << ",enumerator=" << Narrow(enumerator) << ",parent=" << (parent ? "set" : "null")
         << ",flags=" << flags << ",existing=" << (existing ? "set" : "null")
         << ",machine=" << Narrow(machine) << ",reserved=" << (reserved ? "set" : "null") << ")";
    Record(call.str());
    ++g_sim->setsBuilt;
    if (g_sim->beforeBuild) {
        g_sim->beforeBuild(g_sim->setsBuilt);
    }
    HDEVINFO set = NewHandle();
    g_sets.insert(set);
    std::vector<size_t> members;
    for (size_t i = 0; i < g_sim->devices.size(); ++i) {
        if (g_sim->devices[i].present && !g_sim->devices[i].removed) {
            members.push_back(i);
        }
    }
    g_members.resize(g_nextHandle + 1);
    g_members[g_nextHandle] = members;
    return set;
}

size_t SetNumber(HDEVINFO set)
{
    return static_cast<size_t>(reinterpret_cast<INT_PTR>(set) - 0x5E70000);
}

BOOL WINAPI GetListDetail(HDEVINFO set, PSP_DEVINFO_LIST_DETAIL_DATA_W details)
{
    Record("SetupDiGetDeviceInfoListDetailW");
    CheckSize(details->cbSize, sizeof(*details));
    if (!g_live.count(set)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    details->ClassGuid = GUID();
    details->RemoteMachineHandle = nullptr;
    details->RemoteMachineName[0] = L'\0';
    return TRUE;
}

BOOL WINAPI EnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data)
{
    Record("SetupDiEnumDeviceInfo(" + std::to_string(index) + ")");
    CheckSize(data->cbSize, sizeof(*data));
    const std::vector<size_t>& members = g_members[SetNumber(set)];
    if (index >= members.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->ClassGuid = GUID();
    data->DevInst = static_cast<DWORD>(kFirstDevInst + members[index]);
    data->Reserved = 0;
    return TRUE;
}

BOOL WINAPI GetRegistryProperty(HDEVINFO, PSP_DEVINFO_DATA data, DWORD property, PDWORD type,
                                PBYTE buffer, DWORD size, PDWORD required)
{
    SimDevice* device = DeviceOf(data);
    if (g_sim->onPropertyRead) {
        g_sim->onPropertyRead();
    }
    if (g_sim->recordCalls)
        Record("SetupDiGetDeviceRegistryPropertyW(device=" +
               std::to_string(data->DevInst - kFirstDevInst) +
               ",property=" + std::to_string(property) + ",size=" + std::to_string(size) + ")");
    CheckSize(data->cbSize, sizeof(*data));
    bool readable =
        property == SPDRP_HARDWAREID ? device->hardwareIdsReadable : device->compatibleIdsReadable;
    const Bytes& value = property == SPDRP_HARDWAREID ? device->hardwareIds : device->compatibleIds;
    if (!readable || value.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    if (type)
        *type = REG_MULTI_SZ;
    if (required)
        *required = static_cast<DWORD>(value.size());
    if (value.size() > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, value.data(), value.size());
    return TRUE;
}

BOOL WINAPI DestroyList(HDEVINFO set)
{
    Record("SetupDiDestroyDeviceInfoList");
    if (!g_live.erase(set)) {
        ++g_sim->badDestroys;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ++g_sim->destroyed;
    return TRUE;
}

BOOL WINAPI GetInfClass(PCWSTR inf, LPGUID guid, PWSTR name, DWORD size, PDWORD required)
{
    Record("SetupDiGetINFClassW(" + Narrow(inf) + ",size=" + std::to_string(size) +
           ",required=" + (required ? "set" : "null") + ")");
    if (g_sim->infClassName.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *guid = g_sim->infClassGuid;
    lstrcpyW(name, g_sim->infClassName.c_str());
    return TRUE;
}

HDEVINFO WINAPI CreateList(const GUID* guid, HWND parent)
{
    Record(std::string("SetupDiCreateDeviceInfoList(guid=") +
           (guid && IsEqualGUID(*guid, g_sim->infClassGuid) ? "inf" : "other") +
           ",parent=" + (parent ? "set" : "null") + ")");
    ++g_sim->listsCreated;
    return NewHandle();
}

BOOL WINAPI CreateInfo(HDEVINFO list, PCWSTR name, const GUID* guid, PCWSTR description,
                       HWND parent, DWORD flags, PSP_DEVINFO_DATA data)
{
    Record(std::string("SetupDiCreateDeviceInfoW(") + Narrow(name) +
           ",guid=" + (guid && IsEqualGUID(*guid, g_sim->infClassGuid) ? "inf" : "other") +
           ",description=" + Narrow(description) + ",parent=" + (parent ? "set" : "null") +
           ",flags=" + std::to_string(flags) + ")");
    CheckSize(data->cbSize, sizeof(*data));
    if (!g_live.count(list)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_sim->createdName = name;
    g_sim->createFlags = flags;
    g_pendingDevInst = static_cast<DWORD>(kFirstDevInst + g_sim->devices.size());
    data->DevInst = g_pendingDevInst;
    return TRUE;
}

BOOL WINAPI SetRegistryProperty(HDEVINFO, PSP_DEVINFO_DATA data, DWORD property, const BYTE* buffer,
                                DWORD size)
{
    Record("SetupDiSetDeviceRegistryPropertyW(property=" + std::to_string(property) +
           ",size=" + std::to_string(size) + ")");
    CheckSize(data->cbSize, sizeof(*data));
    g_sim->storedHardwareIds.assign(buffer, buffer + size);
    return TRUE;
}

BOOL WINAPI SetClassInstallParams(HDEVINFO, PSP_DEVINFO_DATA data, PSP_CLASSINSTALL_HEADER header,
                                  DWORD size)
{
    auto* remove = reinterpret_cast<SP_REMOVEDEVICE_PARAMS*>(header);
    std::ostringstream call;
    call << "SetupDiSetClassInstallParamsW(device=" << data->DevInst - kFirstDevInst
         << ",header=" << header->cbSize << ",function=" << header->InstallFunction
         << ",scope=" << remove->Scope << ",profile=" << remove->HwProfile << ",size=" << size
         << ")";
    Record(call.str());
    CheckSize(header->cbSize, sizeof(SP_CLASSINSTALL_HEADER));
    CheckSize(size, sizeof(SP_REMOVEDEVICE_PARAMS));
    return TRUE;
}

BOOL WINAPI CallClassInstaller(DI_FUNCTION function, HDEVINFO, PSP_DEVINFO_DATA data)
{
    Record("SetupDiCallClassInstaller(function=" + std::to_string(function) + ")");
    CheckSize(data->cbSize, sizeof(*data));
    if (function == DIF_REGISTERDEVICE) {
        SimDevice device;
        device.hardwareIds = g_sim->storedHardwareIds;
        g_sim->devices.push_back(device);
        return TRUE;
    }
    if (function == DIF_REMOVE) {
        SimDevice* device = DeviceOf(data);
        if (!device->removable) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        device->removed = true;
        return TRUE;
    }
    SetLastError(ERROR_DI_DO_DEFAULT);
    return FALSE;
}

BOOL WINAPI GetInstallParams(HDEVINFO, PSP_DEVINFO_DATA data, PSP_DEVINSTALL_PARAMS_W params)
{
    Record("SetupDiGetDeviceInstallParamsW(device=" +
           std::to_string(data->DevInst - kFirstDevInst) + ")");
    CheckSize(params->cbSize, sizeof(*params));
    SimDevice* device = DeviceOf(data);
    if (!device->installParamsReadable) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    params->Flags = device->flagsAfterRemove;
    return TRUE;
}

CONFIGRET WINAPI GetDeviceId(DEVINST devInst, PWCHAR buffer, ULONG length, ULONG flags,
                             HMACHINE machine)
{
    std::ostringstream call;
    call << "CM_Get_Device_ID_ExW(device=" << devInst - kFirstDevInst << ",length=" << length
         << ",flags=" << flags << ",machine=" << (machine ? "set" : "null") << ")";
    Record(call.str());
    SP_DEVINFO_DATA data{};
    data.DevInst = devInst;
    SimDevice* device = DeviceOf(&data);
    if (!device->instanceIdReadable) {
        return CR_NO_SUCH_DEVNODE;
    }
    lstrcpynW(buffer, (L"ROOT\\SIM\\" + std::to_wstring(devInst)).c_str(), length);
    return CR_SUCCESS;
}

BOOL WINAPI FakeUpdateDriver(HWND parent, LPCWSTR hardwareId, LPCWSTR inf, DWORD flags,
                             PBOOL restart)
{
    Record(std::string("UpdateDriverForPlugAndPlayDevicesW(parent=") + (parent ? "set" : "null") +
           ",flags=" + std::to_string(flags) + ")");
    g_sim->updateHardwareId = hardwareId;
    g_sim->updateInfPath = inf;
    g_sim->updateFlags = flags;
    if (!g_sim->updateSucceeds) {
        SetLastError(g_sim->updateError);
        return FALSE;
    }
    if (restart) {
        *restart = g_sim->updateNeedsRestart;
    }
    return TRUE;
}

HMODULE WINAPI FakeLoadLibrary(LPCWSTR name, HANDLE file, DWORD flags)
{
    // Only newdev is simulated; the user interface has a stand-in of its own.
    const std::wstring wanted = name ? name : L"";
    const std::wstring newdev = L"newdev.dll";
    if (wanted.size() < newdev.size() ||
        _wcsicmp(wanted.c_str() + wanted.size() - newdev.size(), newdev.c_str()) != 0) {
        return Override<win::LoadLibraryExW>::Next()(name, file, flags);
    }
    std::ostringstream call;
    call << "LoadLibraryExW(" << Narrow(name) << ",file=" << (file ? "set" : "null") << ",flags=0x"
         << std::hex << flags << ")";
    Record(call.str());
    if (!g_sim->newdevLoads) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++g_sim->librariesLoaded;
    return kNewdev;
}

FARPROC WINAPI GetProc(HMODULE module, LPCSTR name)
{
    if (module != kNewdev) {
        return Override<win::GetProcAddress>::Next()(module, name);
    }
    Record(std::string("GetProcAddress(") + name + ")");
    if (!g_sim->newdevHasExport || std::string(name) != "UpdateDriverForPlugAndPlayDevicesW") {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeUpdateDriver));
}

BOOL WINAPI FreeLib(HMODULE module)
{
    if (module != kNewdev) {
        return Override<win::FreeLibrary>::Next()(module);
    }
    Record("FreeLibrary");
    ++g_sim->librariesFreed;
    return TRUE;
}

}  // namespace

Bytes MultiSz(std::initializer_list<std::wstring> ids)
{
    std::wstring text;
    for (const std::wstring& id : ids) {
        text += id;
        text += L'\0';
    }
    text += L'\0';
    return RawUtf16(text);
}

Bytes RawUtf16(const std::wstring& text)
{
    Bytes bytes;
    for (wchar_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    return bytes;
}

SimulatedDevices::SimulatedDevices()
    : infClassGuid{0x6A2C6C1E, 0x5B7F, 0x4E43, {0x9A, 0x8C, 0x2E, 0x9D, 0x1C, 0x0B, 0x7F, 0x11}},
      m_previous(g_sim)
{
    g_sim = this;
    g_live.clear();
    g_sets.clear();
    g_members.clear();
    g_nextHandle = 0;
    m_overrides.Add<win::SetupDiGetClassDevsExW>(&GetClassDevsEx);
    m_overrides.Add<win::SetupDiGetDeviceInfoListDetailW>(&GetListDetail);
    m_overrides.Add<win::SetupDiEnumDeviceInfo>(&EnumDeviceInfo);
    m_overrides.Add<win::SetupDiGetDeviceRegistryPropertyW>(&GetRegistryProperty);
    m_overrides.Add<win::SetupDiSetDeviceRegistryPropertyW>(&SetRegistryProperty);
    m_overrides.Add<win::SetupDiDestroyDeviceInfoList>(&DestroyList);
    m_overrides.Add<win::SetupDiGetINFClassW>(&GetInfClass);
    m_overrides.Add<win::SetupDiCreateDeviceInfoList>(&CreateList);
    m_overrides.Add<win::SetupDiCreateDeviceInfoW>(&CreateInfo);
    m_overrides.Add<win::SetupDiCallClassInstaller>(&CallClassInstaller);
    m_overrides.Add<win::SetupDiSetClassInstallParamsW>(&SetClassInstallParams);
    m_overrides.Add<win::SetupDiGetDeviceInstallParamsW>(&GetInstallParams);
    m_overrides.Add<win::CM_Get_Device_ID_ExW>(&GetDeviceId);
    // Only newdev is simulated: other libraries go on to whatever was there.
    m_overrides.Add<win::LoadLibraryExW>(&FakeLoadLibrary);
    m_overrides.Add<win::GetProcAddress>(&GetProc);
    m_overrides.Add<win::FreeLibrary>(&FreeLib);
}

SimulatedDevices::~SimulatedDevices()
{
    m_overrides.Clear();
    g_sim = m_previous;
}

SimulatedDevices* SimulatedDevices::Current()
{
    return g_sim;
}

SimDevice& SimulatedDevices::Add(const Bytes& hardwareIds, const Bytes& compatibleIds)
{
    SimDevice device;
    device.hardwareIds = hardwareIds;
    device.compatibleIds = compatibleIds;
    devices.push_back(device);
    return devices.back();
}

::testing::AssertionResult SimulatedDevices::Balanced() const
{
    if (!g_live.empty() || badDestroys != 0 || badRecords != 0 ||
        librariesLoaded != librariesFreed || destroyed != setsBuilt + listsCreated) {
        return ::testing::AssertionFailure()
               << "built " << setsBuilt << " sets and " << listsCreated << " lists, destroyed "
               << destroyed << ", " << g_live.size() << " still live, " << badDestroys
               << " bad destroys, " << badRecords << " records of a wrong size, libraries "
               << librariesLoaded << " loaded and " << librariesFreed << " freed";
    }
    return ::testing::AssertionSuccess();
}

namespace {
RecordedBoxes* g_boxes;
HMODULE const kUser32 = reinterpret_cast<HMODULE>(0x7E58000);
HWINSTA const kStation = reinterpret_cast<HWINSTA>(0x7E59000);

bool IsUser32(const wchar_t* name)
{
    std::wstring lower;
    for (const wchar_t* unit = name; unit && *unit; ++unit) {
        lower += (*unit >= L'A' && *unit <= L'Z') ? static_cast<wchar_t>(*unit + 32) : *unit;
    }
    const std::wstring file = L"user32.dll";
    return lower == file ||
           (lower.size() > file.size() &&
            lower.compare(lower.size() - file.size() - 1, std::wstring::npos, L"\\" + file) == 0);
}

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    if (g_boxes->onBox) {
        g_boxes->onBox();
    }
    g_boxes->boxes.push_back(ShownBox{owner, text, caption, type});
    return IDOK;
}

HWINSTA WINAPI FakeStation()
{
    return kStation;
}

BOOL WINAPI FakeObjectInformation(HANDLE object, int index, void* info, DWORD size, DWORD* needed)
{
    if (object != kStation || index != UOI_FLAGS || size < sizeof(USEROBJECTFLAGS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    USEROBJECTFLAGS flags = {};
    flags.dwFlags = g_boxes->stationVisible ? WSF_VISIBLE : 0;
    *static_cast<USEROBJECTFLAGS*>(info) = flags;
    if (needed) {
        *needed = sizeof(flags);
    }
    return TRUE;
}

HMODULE WINAPI LoadUser32(LPCWSTR name, HANDLE file, DWORD flags)
{
    if (!IsUser32(name)) {
        return Override<win::LoadLibraryExW>::Next()(name, file, flags);
    }
    g_boxes->libraryNames.push_back(name);
    ++g_boxes->loads;
    return kUser32;
}

FARPROC WINAPI User32Proc(HMODULE module, LPCSTR name)
{
    if (module != kUser32) {
        return Override<win::GetProcAddress>::Next()(module, name);
    }
    const std::string wanted = name;
    void (*proc)() = nullptr;
    if (wanted == "MessageBoxW") {
        proc = reinterpret_cast<void (*)()>(&RecordBox);
    } else if (wanted == "GetProcessWindowStation") {
        proc = reinterpret_cast<void (*)()>(&FakeStation);
    } else if (wanted == "GetUserObjectInformationW") {
        proc = reinterpret_cast<void (*)()>(&FakeObjectInformation);
    }
    if (proc == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return reinterpret_cast<FARPROC>(proc);
}

BOOL WINAPI FreeUser32(HMODULE module)
{
    if (module != kUser32) {
        return Override<win::FreeLibrary>::Next()(module);
    }
    ++g_boxes->frees;
    return TRUE;
}
}  // namespace

RecordedBoxes::RecordedBoxes() : m_previous(g_boxes)
{
    // Each test starts with the user interface as a new run has it.
    ResetUserInterfaceForTesting();
    g_boxes = this;
    // Other libraries go on to whatever was there, an instance nested in
    // another to the outer one.
    m_overrides.Add<win::LoadLibraryExW>(&LoadUser32);
    m_overrides.Add<win::GetProcAddress>(&User32Proc);
    m_overrides.Add<win::FreeLibrary>(&FreeUser32);
}

RecordedBoxes::~RecordedBoxes()
{
    ResetUserInterfaceForTesting();
    m_overrides.Clear();
    g_boxes = m_previous;
}

std::vector<std::wstring> RecordedBoxes::Texts() const
{
    std::vector<std::wstring> texts;
    for (const ShownBox& box : boxes) {
        texts.push_back(box.text);
    }
    return texts;
}

CapturedStdout::CapturedStdout()
{
    wchar_t directory[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, L"std", 0, name);
    m_path = name;
    fflush(stdout);
    m_saved = _dup(1);
    int fd = _wopen(name, _O_WRONLY | _O_TRUNC | _O_TEXT);
    _dup2(fd, 1);
    _close(fd);
}

void CapturedStdout::Stop()
{
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    fflush(stdout);
    _dup2(m_saved, 1);
    _close(m_saved);
    FILE* file = _wfopen(m_path.c_str(), L"rb");
    if (file) {
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) {
            m_text.append(chunk, got);
        }
        fclose(file);
    }
    DeleteFileW(m_path.c_str());
}

std::string CapturedStdout::Text()
{
    Stop();
    return m_text;
}

CapturedStdout::~CapturedStdout()
{
    Stop();
}
