// Uninstall mode of the real Pinwheel.exe under Wine, against real device
// nodes and service keys.
#include <gtest/gtest.h>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services\\";
const std::string kProgress = "Uninstall driver,please wait...";

// A service key as an installed driver leaves it, with no device behind it.
std::wstring MakeServiceKey()
{
    const std::wstring name = UniqueName(L"PwLone");
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kServices + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    DWORD start = 3, type = 1;
    RegSetValueExW(key, L"Start", 0, REG_DWORD, reinterpret_cast<BYTE*>(&start), 4);
    RegSetValueExW(key, L"Type", 0, REG_DWORD, reinterpret_cast<BYTE*>(&type), 4);
    const wchar_t image[] = L"System32\\drivers\\PwLone.sys";
    RegSetValueExW(key, L"ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(image),
                   sizeof(image));
    RegCloseKey(key);
    return name;
}

TEST(UninstallTest, NoMatchingDeviceLogs621AndDisablesTheService)
{
    PinwheelSandbox sandbox;
    const std::wstring service = MakeServiceKey();
    PinwheelResult run = sandbox.Run({L"UnInstall", L"ROOT\\" + UniqueName(L"Nothing"), service});
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(kProgress, run.out);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(NewLog(Entry(621, L"Uninstall Ok,But no device!")), run.log);
    DWORD value = 0;
    EXPECT_TRUE(ReadServiceDword(service, L"Start", &value));
    EXPECT_EQ(4u, value);
    EXPECT_TRUE(ReadServiceDword(service, L"Type", &value));
    EXPECT_EQ(1u, value);
    wchar_t image[64] = {};
    DWORD size = sizeof(image);
    EXPECT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_LOCAL_MACHINE, (kServices + service).c_str(), L"ImagePath",
                           RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, image, &size));
    EXPECT_STREQ(L"System32\\drivers\\PwLone.sys", image);
}

TEST(UninstallTest, MissingServiceKeyLogs537And629AndKeepsTheExitCode)
{
    PinwheelSandbox sandbox;
    const std::wstring service = UniqueName(L"PwAbsent");
    PinwheelResult run = sandbox.Run({L"uninstall", L"ROOT\\" + UniqueName(L"Nothing"), service});
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(NewLog(Entry(621, L"Uninstall Ok,But no device!") +
                     Entry(537, L"r.Open fail,error code is 0x2!") +
                     Entry(629, L"DisableMyService fail!")),
              run.log);
    EXPECT_FALSE(ServiceKeyExists(service));
}

// Wine 8's SetupDiSetClassInstallParamsW is a stub that always fails, so a
// real removal cannot happen here (the stub leaves ERROR_INVALID_DATA): the
// removal ends at entry 431, the pass
// removed nothing, and that is reported as the failure it is. The service is
// disabled all the same. Successful removals are covered against the
// simulated device services.
TEST(UninstallTest, DeviceFromTheInstallModeUnderWineEndsAt431)
{
    PinwheelSandbox sandbox;
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Removal");
    ASSERT_EQ(0u, sandbox.Run({L"install", package.hardwareId, package.infPath}).exitCode);
    DeleteFileW(sandbox.LogPath().c_str());

    PinwheelResult run = sandbox.Run({L"uninstall", package.hardwareId, package.service});
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_EQ(kProgress, run.out);
    EXPECT_EQ(NewLog(Entry(431, L"SetupDiSetClassInstallParams fail,error code is 0xd!") +
                     Entry(614, L"Uninstall fail!")),
              run.log);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(L"Warning", run.boxes[0].caption);
    EXPECT_EQ(L"Uninstall driver fail!", run.boxes[0].text);
    EXPECT_EQ(1u, DevicesWithHardwareId(package.hardwareId).size());
    DWORD start = 0;
    EXPECT_TRUE(ReadServiceDword(package.service, L"Start", &start));
    EXPECT_EQ(4u, start);
}

}  // namespace
