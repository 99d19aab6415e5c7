// What the real (Wine) device services and registry hold, for end-to-end
// tests, and driver packages made from the demo INF with names of their own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A name no earlier run of the tests has used in this prefix.
std::wstring UniqueName(const std::wstring& stem);

struct DriverPackage {
    std::wstring hardwareId;
    std::wstring service;
    std::wstring infPath;
};
// Writes the demo package into `directory` with its own hardware ID and
// service name (so every test starts with no such device or service).
DriverPackage MakeDriverPackage(const std::wstring& directory, const std::wstring& stem);

struct PresentDevice {
    std::vector<std::wstring> hardwareIds;
    std::wstring service;
};
// Present devices one of whose hardware IDs equals `hardwareId` (any case).
std::vector<PresentDevice> DevicesWithHardwareId(const std::wstring& hardwareId);

// A DWORD value of a service key; false when the key or value is absent.
bool ReadServiceDword(const std::wstring& service, const wchar_t* value, DWORD* data);
bool ServiceKeyExists(const std::wstring& service);
