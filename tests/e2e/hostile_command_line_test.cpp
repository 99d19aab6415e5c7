// Command lines that no installer should pass, and some that a broken one
// will: the real Pinwheel.exe under Wine must end each of them with one of
// its own exit codes (never a crash), within the run's time limit, leaving a
// log of whole entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_state.h"
#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

struct Expected {
    DWORD exitCode;
    std::vector<int> entries;  // the locations of the log's entries, in order
    size_t boxes;
};
// Refused before any work; the INF cannot be read, so no node is made; no
// device to remove and no service key to disable.
const Expected kRefusedId = {3, {560}, 0};
const Expected kUnreadableInf = {2, {304, 578}, 0};
const Expected kUnreadableInfWithBox = {2, {304, 578}, 1};
const Expected kNothingToRemove = {0, {621, 537, 629}, 0};

struct HostileCase {
    std::string name;
    std::vector<std::wstring> arguments;
    Expected expected;
};

// The location numbers of a log's entries; fails the test unless the log is
// made of whole entries.
std::vector<int> Locations(const std::string& log, const std::string& name)
{
    std::vector<std::wstring> entries;
    EXPECT_TRUE(DecodeLog(log, &entries)) << name;
    std::vector<int> locations;
    const std::wstring prefix = L"file:.\\Pinwheel,line ";
    for (const std::wstring& entry : entries) {
        locations.push_back(std::stoi(entry.substr(prefix.size())));
    }
    return locations;
}

void RunAll(const PinwheelSandbox& sandbox, const std::vector<HostileCase>& cases)
{
    for (const HostileCase& c : cases) {
        DeleteFileW(sandbox.LogPath().c_str());
        PinwheelResult run = sandbox.Run(c.arguments);
        // 0xC0000005 and the like are crashes; anything but 0 to 3 is wrong.
        EXPECT_LE(run.exitCode, 3u) << c.name << ": exit code 0x" << std::hex << run.exitCode;
        EXPECT_EQ(c.expected.exitCode, run.exitCode) << c.name;
        EXPECT_EQ(c.expected.entries, Locations(run.log, c.name)) << c.name;
        EXPECT_EQ(c.expected.boxes, run.boxes.size()) << c.name;
    }
}

std::wstring Repeat(const std::wstring& unit, size_t count)
{
    std::wstring text;
    for (size_t i = 0; i < count; ++i) {
        text += unit;
    }
    return text;
}

// Outside the basic plane (U+1F600 as its surrogate pair), and surrogates
// that pair with nothing.
const std::wstring kAstral = L"\xD83D\xDE00";
const std::wstring kLoneHigh = L"\xD83D";
const std::wstring kLoneLow = L"\xDE00";

TEST(HostileCommandLineTest, HardwareIdsTooLongOrOutsideTheBasicPlane)
{
    PinwheelSandbox sandbox;
    DriverPackage package = MakeDriverPackage(sandbox.Directory(), L"Hostile");
    // No such file: the install fails on the INF, before any node is made.
    const std::wstring missingInf = sandbox.Directory() + L"\\missing.inf";
    const std::wstring service = UniqueName(L"PwHostileSvc");
    const std::wstring longId = L"ROOT\\" + std::wstring(10000 - 5, L'x');
    const std::wstring astralId = L"ROOT\\" + UniqueName(L"PwAstral") + kAstral;
    const std::wstring loneId = L"ROOT\\" + UniqueName(L"PwLone");

    const std::vector<HostileCase> cases = {
        {"install, 10,000-character ID", {L"install", longId, package.infPath}, kRefusedId},
        {"uninstall, 10,000-character ID", {L"uninstall", longId, service}, kRefusedId},
        {"install, ID outside the basic plane",
         {L"install", astralId, missingInf, L"/quiet"},
         kUnreadableInf},
        {"uninstall, ID outside the basic plane",
         {L"uninstall", astralId, service},
         kNothingToRemove},
        {"install, ID ending in a lone high surrogate",
         {L"install", loneId + kLoneHigh, missingInf, L"/quiet"},
         kUnreadableInf},
        {"uninstall, ID ending in a lone low surrogate",
         {L"uninstall", loneId + kLoneLow, service},
         kNothingToRemove},
        {"uninstall, ID of surrogates only",
         {L"uninstall", kLoneLow + kAstral + kLoneHigh, service},
         kNothingToRemove},
    };
    RunAll(sandbox, cases);
    EXPECT_TRUE(DevicesWithHardwareId(astralId).empty());
    EXPECT_FALSE(ServiceKeyExists(service));
}

TEST(HostileCommandLineTest, InfPathsThatAreDevicesOrAFolder)
{
    PinwheelSandbox sandbox;
    std::vector<HostileCase> cases;
    std::vector<std::wstring> ids;
    const struct {
        const char* name;
        std::wstring path;
    } infs[] = {{"NUL", L"NUL"},
                {"CON", L"CON"},
                {"\\\\.\\NUL", L"\\\\.\\NUL"},
                {"the sandbox folder", sandbox.Directory()},
                {"the current folder", L"."}};
    for (const auto& inf : infs) {
        ids.push_back(L"ROOT\\" + UniqueName(L"PwDeviceInf"));
        cases.push_back({std::string("install, INF ") + inf.name,
                         {L"install", ids.back(), inf.path, L"/quiet"},
                         kUnreadableInf});
    }
    RunAll(sandbox, cases);
    for (const std::wstring& id : ids) {
        EXPECT_TRUE(DevicesWithHardwareId(id).empty());
    }
}

TEST(HostileCommandLineTest, FourthToTwentiethArguments)
{
    PinwheelSandbox sandbox;
    const std::wstring missingInf = sandbox.Directory() + L"\\missing.inf";
    const std::wstring service = UniqueName(L"PwExtraSvc");
    const std::wstring id = L"ROOT\\" + UniqueName(L"PwExtra");
    const std::wstring longArgument = Repeat(L"/quiet", 250);  // 1,500 characters

    // Arguments 4 to 20: empty ones, long ones, quotes and backslashes, and
    // words that only look like the switch.
    std::vector<std::wstring> extra = {
        L"",       L"\"",     L"\\",       L"a b",    L"\\\"",  longArgument, L"",
        kAstral,   kLoneHigh, L"/quiet=1", L"-quiet", L"quiet", L"/quiet ",   longArgument + L"x",
        L"%PATH%", L"^&|<>",  L""};
    ASSERT_EQ(17u, extra.size());
    auto with = [](std::vector<std::wstring> arguments, const std::vector<std::wstring>& more) {
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    };
    std::vector<std::wstring> quietLast = extra;
    quietLast.back() = L"/QUIET";
    std::vector<std::wstring> longOnes(17, longArgument);
    longOnes[0] = L"/Quiet";

    const std::vector<HostileCase> cases = {
        // None of them is the switch: the failed install shows its box.
        {"install, 17 arguments that are not the switch", with({L"install", id, missingInf}, extra),
         kUnreadableInfWithBox},
        {"install, the switch as the 20th argument", with({L"install", id, missingInf}, quietLast),
         kUnreadableInf},
        {"install, the switch then 16 arguments of 1,500 characters",
         with({L"install", id, missingInf}, longOnes), kUnreadableInf},
        {"uninstall, 17 arguments that are not the switch",
         with({L"uninstall", id, service}, extra), kNothingToRemove},
    };
    RunAll(sandbox, cases);
    EXPECT_TRUE(DevicesWithHardwareId(id).empty());
    EXPECT_FALSE(ServiceKeyExists(service));
}

}  // namespace
