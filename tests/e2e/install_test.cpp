// Install mode of the real Pinwheel.exe under Wine: real device nodes, a real
// driver package, real boxes. Every test makes a package with a hardware ID
// and service of its own, so runs do not see each other's devices.
#include <gtest/gtest.h>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const std::wstring kProgress = L"Install driver,please wait...";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

TEST(InstallTest, CreatesOneRootNodeWithTheIdAndInstallsTheDriver)
{
    PinwheelSandbox sandbox;
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Fresh");
    PinwheelResult run = sandbox.Run({L"install", package.hardwareId, package.infPath});
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(
        "Install driver,please wait...Device node created.\r\n"
        "Installing the driver for " +
            Narrow(package.hardwareId) + " from " + Narrow(package.infPath) +
            "...\r\nDriver installed.\r\n",
        run.out);
    EXPECT_EQ("", run.err);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("", run.log);

    std::vector<PresentDevice> devices = DevicesWithHardwareId(package.hardwareId);
    ASSERT_EQ(1u, devices.size());
    EXPECT_EQ(std::vector<std::wstring>{package.hardwareId}, devices[0].hardwareIds);
    EXPECT_EQ(package.service, devices[0].service);
    DWORD start = 0;
    EXPECT_TRUE(ReadServiceDword(package.service, L"Start", &start));
    EXPECT_EQ(3u, start);
}

TEST(InstallTest, SecondInstallIsRefusedAlsoInAnotherCase)
{
    PinwheelSandbox sandbox;
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Twice");
    ASSERT_EQ(0u, sandbox.Run({L"INSTALL", package.hardwareId, package.infPath}).exitCode);

    std::wstring otherCase = package.hardwareId;
    for (wchar_t& c : otherCase) {
        c = static_cast<wchar_t>(towlower(c));
    }
    for (const std::wstring& id : {package.hardwareId, otherCase}) {
        DeleteFileW(sandbox.LogPath().c_str());
        PinwheelResult run = sandbox.Run({L"Install", id, package.infPath});
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(Narrow(kProgress), run.out);
        EXPECT_EQ(NewLog(Entry(569, L"Install,But find device!")), run.log);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ(L"Warning", run.boxes[0].caption);
        EXPECT_EQ(L"Please uninstall the previous version and run setup again!", run.boxes[0].text);
    }
    EXPECT_EQ(1u, DevicesWithHardwareId(package.hardwareId).size());
}

TEST(InstallTest, MissingInfFailsBeforeAnyNodeIsCreated)
{
    PinwheelSandbox sandbox;
    const std::wstring id = L"ROOT\\" + UniqueName(L"NoInf");
    PinwheelResult run = sandbox.Run({L"install", id, sandbox.Directory() + L"\\absent.inf"});
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_EQ(Narrow(kProgress), run.out);
    EXPECT_EQ(NewLog(Entry(304, L"SetupDiGetINFClass fail,error code is 0x2!") +
                     Entry(578, L"Install driver unsuccessful!")),
              run.log);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(
        L"Install driver unsuccessful!Please uninstall this software and reboot "
        L"computer,and run setup again!",
        run.boxes[0].text);
    EXPECT_TRUE(DevicesWithHardwareId(id).empty());
}

TEST(InstallTest, RelativeInfPathResolvesAgainstTheCurrentDirectory)
{
    PinwheelSandbox sandbox;
    std::wstring packageDirectory = FreshTestDirectory(L"relative-package");
    DriverPackage package = MakeDriverPackage(packageDirectory, L"Relative");
    PinwheelResult run =
        sandbox.Run({L"install", package.hardwareId, L"Relative.inf"}, packageDirectory);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find(" from " + Narrow(package.infPath) + "...\r\n"));
    EXPECT_EQ(1u, DevicesWithHardwareId(package.hardwareId).size());
}

// Makes Wine search for newdev natively first, as Windows does, for
// Pinwheel.exe only (the registry form of WINEDLLOVERRIDES=newdev=n,b, which
// a Windows parent cannot hand to its child through the environment).
class NativeFirstNewdev {
public:
    NativeFirstNewdev()
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                        nullptr);
        const wchar_t order[] = L"native,builtin";
        RegSetValueExW(m_key, L"newdev", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                       sizeof(order));
    }
    ~NativeFirstNewdev()
    {
        RegDeleteValueW(m_key, L"newdev");
        RegCloseKey(m_key);
    }

private:
    static constexpr const wchar_t* kKey =
        L"Software\\Wine\\AppDefaults\\Pinwheel.exe\\DllOverrides";
    HKEY m_key = nullptr;
};

// With the search native-first, a newdev.dll beside the elevated tool would
// be the one a bare-name load picks (the fixture then fails the update and
// leaves a mark); the tool takes newdev from the system folder only.
TEST(InstallTest, NewdevPlantedBesideTheToolIsNotLoaded)
{
    PinwheelSandbox sandbox;
    std::wstring planted = BuildDirectory() + L"\\planted\\newdev.dll";
    ASSERT_TRUE(CopyFileW(planted.c_str(), (sandbox.Directory() + L"\\newdev.dll").c_str(), FALSE));
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Planted");
    NativeFirstNewdev nativeFirst;
    PinwheelResult run = sandbox.Run({L"install", package.hardwareId, package.infPath});
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("", run.log);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesW((sandbox.Directory() + L"\\planted-newdev-was-loaded").c_str()));
    EXPECT_EQ(1u, DevicesWithHardwareId(package.hardwareId).size());
}

}  // namespace
