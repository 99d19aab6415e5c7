#include "device_state.h"

#include <setupapi.h>

#include "log_directory.h"
#include "pinwheel_sandbox.h"

std::wstring UniqueName(const std::wstring& stem)
{
    static int s_counter;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return stem + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(now.dwLowDateTime) + L"_" + std::to_wstring(++s_counter);
}

static void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

DriverPackage MakeDriverPackage(const std::wstring& directory, const std::wstring& stem)
{
    DriverPackage package;
    package.hardwareId = L"ROOT\\" + UniqueName(stem);
    package.service = UniqueName(L"PwSvc");
    package.infPath = directory + L"\\" + stem + L".inf";
    std::string inf = ReadFileBytes(BuildDirectory() + L"\\PinwheelDemo.inf");
    ReplaceAll(inf, "ROOT\\PinwheelDemo",
               std::string(package.hardwareId.begin(), package.hardwareId.end()));
    ReplaceAll(inf, "AddService=PinwheelDemo,",
               "AddService=" + std::string(package.service.begin(), package.service.end()) + ",");
    // Display names must be unique among services as well.
    ReplaceAll(inf, "ServiceName=\"Pinwheel demo driver\"",
               "ServiceName=\"Pinwheel demo driver " +
                   std::string(package.service.begin(), package.service.end()) + "\"");
    WriteFileBytes(package.infPath, inf);
    CopyFileW((BuildDirectory() + L"\\PinwheelDemo.sys").c_str(),
              (directory + L"\\PinwheelDemo.sys").c_str(), FALSE);
    return package;
}

static std::vector<std::wstring> MultiSzProperty(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                 DWORD property)
{
    std::vector<std::wstring> strings;
    std::vector<wchar_t> buffer(32768);
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()),
                                           static_cast<DWORD>(buffer.size() * 2 - 4), nullptr)) {
        return strings;
    }
    for (const wchar_t* p = buffer.data(); *p; p += lstrlenW(p) + 1) {
        strings.push_back(p);
    }
    return strings;
}

std::vector<PresentDevice> DevicesWithHardwareId(const std::wstring& hardwareId)
{
    std::vector<PresentDevice> found;
    HDEVINFO set =
        SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        return found;
    }
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        PresentDevice present;
        present.hardwareIds = MultiSzProperty(set, &device, SPDRP_HARDWAREID);
        bool matches = false;
        for (const std::wstring& id : present.hardwareIds) {
            matches = matches || lstrcmpiW(id.c_str(), hardwareId.c_str()) == 0;
        }
        if (!matches) {
            continue;
        }
        wchar_t service[256] = {};
        SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_SERVICE, nullptr,
                                          reinterpret_cast<BYTE*>(service), sizeof(service) - 2,
                                          nullptr);
        present.service = service;
        found.push_back(present);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

static HKEY OpenService(const std::wstring& service)
{
    HKEY key = nullptr;
    std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + service;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

bool ServiceKeyExists(const std::wstring& service)
{
    HKEY key = OpenService(service);
    if (key != nullptr) {
        RegCloseKey(key);
    }
    return key != nullptr;
}

bool ReadServiceDword(const std::wstring& service, const wchar_t* value, DWORD* data)
{
    HKEY key = OpenService(service);
    if (key == nullptr) {
        return false;
    }
    DWORD type = 0;
    DWORD size = sizeof(*data);
    LONG status =
        RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD;
}
