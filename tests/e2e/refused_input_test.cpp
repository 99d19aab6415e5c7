// Input that would do harm is refused by the real Pinwheel.exe under Wine
// before any device or registry work: its entry, its exit code, and nothing
// created.
#include <gtest/gtest.h>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services\\";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

void ReplaceLine(const std::wstring& path, const std::string& from, const std::string& to)
{
    std::string text = ReadFileBytes(path);
    const size_t at = text.find(from);
    ASSERT_NE(std::string::npos, at);
    text.replace(at, from.size(), to);
    WriteFileBytes(path, text);
}

// An ID that no node can store whole, or none at all: an empty one would
// make a node on every run, a cut one a node no uninstall can find.
TEST(RefusedInputTest, HardwareIdEmptyOrOver255CharactersIsAUsageError)
{
    PinwheelSandbox sandbox;
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"LongId");
    const std::wstring over = package.hardwareId + std::wstring(256 - package.hardwareId.size(), L'x');
    const std::wstring service = UniqueName(L"PwIdSvc");
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"install", L"", package.infPath},
          std::vector<std::wstring>{L"install", over, package.infPath},
          std::vector<std::wstring>{L"uninstall", L"", service},
          std::vector<std::wstring>{L"uninstall", over, service}}) {
        DeleteFileW(sandbox.LogPath().c_str());
        PinwheelResult run = sandbox.Run(arguments);
        EXPECT_EQ(3u, run.exitCode);
        EXPECT_EQ("", run.out);
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(NewLog(Entry(560, L"Invalid hardware ID!")), run.log);
    }
    EXPECT_TRUE(DevicesWithHardwareId(over).empty());
    EXPECT_TRUE(DevicesWithHardwareId(over.substr(0, 255)).empty());
    EXPECT_FALSE(ServiceKeyExists(service));
}

// The longest ID a node stores is still accepted, and stored whole.
TEST(RefusedInputTest, HardwareIdOf255CharactersIsInstalledWhole)
{
    PinwheelSandbox sandbox;
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Id255");
    const std::wstring longest =
        package.hardwareId + std::wstring(255 - package.hardwareId.size(), L'x');
    ReplaceLine(package.infPath, Narrow(package.hardwareId), Narrow(longest));
    ReplaceLine(package.infPath, Narrow(package.hardwareId), Narrow(longest));
    PinwheelResult run = sandbox.Run({L"install", longest, package.infPath, L"/quiet"});
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("", run.log);
    std::vector<PresentDevice> devices = DevicesWithHardwareId(longest);
    ASSERT_EQ(1u, devices.size());
    EXPECT_EQ(std::vector<std::wstring>{longest}, devices[0].hardwareIds);
}

// The service name is one key below Services: an empty one would write on
// the Services key itself, a separator into a subkey or another service.
TEST(RefusedInputTest, ServiceNameOutsideOneServiceKeyWritesNothing)
{
    PinwheelSandbox sandbox;
    const std::wstring service = UniqueName(L"PwSub");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kServices + service + L"\\Parameters").c_str(),
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    // The Services key itself is shared by the whole prefix: what matters is
    // that these runs leave its value as they found it.
    const std::wstring servicesKey = L"SYSTEM\\CurrentControlSet\\Services";
    DWORD servicesStartBefore = 0, servicesSize = sizeof(servicesStartBefore);
    const LSTATUS servicesBefore =
        RegGetValueW(HKEY_LOCAL_MACHINE, servicesKey.c_str(), L"start", RRF_RT_ANY, nullptr,
                     &servicesStartBefore, &servicesSize);
    for (const std::wstring& name :
         {std::wstring(), service + L"\\Parameters", service + L"/Parameters"}) {
        DeleteFileW(sandbox.LogPath().c_str());
        PinwheelResult run =
            sandbox.Run({L"uninstall", L"ROOT\\" + UniqueName(L"Nothing"), name});
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(NewLog(Entry(621, L"Uninstall Ok,But no device!") +
                         Entry(537, L"r.Open fail,error code is 0x7b!") +
                         Entry(629, L"DisableMyService fail!")),
                  run.log);
    }
    DWORD servicesStartAfter = 0;
    servicesSize = sizeof(servicesStartAfter);
    EXPECT_EQ(servicesBefore, RegGetValueW(HKEY_LOCAL_MACHINE, servicesKey.c_str(), L"start",
                                           RRF_RT_ANY, nullptr, &servicesStartAfter, &servicesSize));
    EXPECT_EQ(servicesStartBefore, servicesStartAfter);
    for (const std::wstring& path : {kServices + service, kServices + service + L"\\Parameters"}) {
        DWORD start = 0, size = sizeof(start);
        EXPECT_EQ(ERROR_FILE_NOT_FOUND,
                  RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"start", RRF_RT_ANY, nullptr,
                               &start, &size))
            << Narrow(path);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kServices + service).c_str());
}

// Wine's SetupDiGetINFClassW reports success for an INF whose class is empty
// or too long for the buffer, writing no name: the tool must not make a node
// under an empty or stale name.
TEST(RefusedInputTest, InfWithoutAUsableClassNameFailsAt304WithoutANode)
{
    for (const std::string& className : {std::string(), std::string(40, 'C')}) {
        PinwheelSandbox sandbox;
        DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"NoClass");
        ReplaceLine(package.infPath, "Class=PinwheelDemo", "Class=" + className);
        PinwheelResult run =
            sandbox.Run({L"install", package.hardwareId, package.infPath, L"/quiet"});
        EXPECT_EQ(2u, run.exitCode);
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(NewLog(Entry(304, L"SetupDiGetINFClass fail,error code is 0xe0000206!") +
                         Entry(578, L"Install driver unsuccessful!")),
                  run.log);
        EXPECT_TRUE(DevicesWithHardwareId(package.hardwareId).empty());
    }
}

// A full path the tool cannot hold is reported as too long: the platform
// answers with the size it needs and sets no error.
TEST(RefusedInputTest, InfPathTooLongLogsFilenameExcedRange)
{
    PinwheelSandbox sandbox;
    const std::wstring inf = sandbox.Directory() + L"\\" + std::wstring(260, L'd') + L".inf";
    PinwheelResult run =
        sandbox.Run({L"install", L"ROOT\\" + UniqueName(L"LongPath"), inf, L"/quiet"});
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_EQ(NewLog(Entry(289, L"GetFullPathName fail,error code is 0xce!") +
                     Entry(578, L"Install driver unsuccessful!")),
              run.log);
}

}  // namespace
