// The device walk against simulated device services: the protocol it speaks,
// what it matches, and its failures with their exact log bytes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "devices/device_enumeration.h"
#include "devices/multi_sz_list.h"
#include "log_directory.h"
#include "setup_result.h"
#include "simulated_devices.h"

namespace {

struct Visit {
    DWORD index;
    DWORD devInst;
};
std::vector<Visit> g_visits;
int g_stopAt;  // 1-based visit that ends the walk; 0: never

int RecordVisit(HDEVINFO, SP_DEVINFO_DATA* device, DWORD index, void*)
{
    g_visits.push_back(Visit{index, device->DevInst});
    return static_cast<int>(g_visits.size()) == g_stopAt ? 7 : 0;
}

class EnumerateDevicesTest : public ::testing::Test {
protected:
    EnumerateDevicesTest()
    {
        g_visits.clear();
        g_stopAt = 0;
    }
    LogDirectory log;
    SimulatedDevices sim;
};

TEST_F(EnumerateDevicesTest, WalksEveryPresentDeviceWithTheExpectedCalls)
{
    sim.Add(MultiSz({L"PCI\\VEN_1"}), MultiSz({L"PCI\\CC_03"}));
    sim.Add(MultiSz({L"USB\\VID_2"}));
    int found = 0;
    EXPECT_EQ(ResultOk, EnumerateDevices(L"ROOT\\Demo", &found, &MarkDeviceFound));
    EXPECT_EQ(0, found);
    const std::vector<std::string> expected = {
        "SetupDiGetClassDevsExW(class=null,enumerator=null,parent=null,flags=6,existing=null,"
        "machine=null,reserved=null)",
        "SetupDiGetDeviceInfoListDetailW",
        "SetupDiEnumDeviceInfo(0)",
        "SetupDiGetDeviceRegistryPropertyW(device=0,property=1,size=8192)",
        "SetupDiGetDeviceRegistryPropertyW(device=0,property=2,size=8192)",
        "SetupDiEnumDeviceInfo(1)",
        "SetupDiGetDeviceRegistryPropertyW(device=1,property=1,size=8192)",
        "SetupDiGetDeviceRegistryPropertyW(device=1,property=2,size=8192)",
        "SetupDiEnumDeviceInfo(2)",
        "SetupDiDestroyDeviceInfoList",
    };
    EXPECT_EQ(expected, sim.calls);
    EXPECT_TRUE(sim.Balanced());
    EXPECT_FALSE(log.LogExists());
}

TEST_F(EnumerateDevicesTest, MatchesWholeIdentifiersInEitherList)
{
    struct Case {
        const char* name;
        Bytes hardwareIds;
        Bytes compatibleIds;
        bool hardwareReadable;
        bool matches;
    } cases[] = {
        {"second hardware ID", MultiSz({L"ROOT\\Other", L"ROOT\\Demo"}), Bytes(), true, true},
        {"compatible ID only", MultiSz({L"ROOT\\Other"}), MultiSz({L"X", L"ROOT\\Demo"}), true,
         true},
        {"ASCII case ignored", MultiSz({L"root\\dEMO"}), Bytes(), true, true},
        {"one character more", MultiSz({L"ROOT\\Demo1"}), MultiSz({L"ROOT\\Demo\\"}), true, false},
        {"one character less", MultiSz({L"ROOT\\Dem"}), Bytes(), true, false},
        {"prefix of a longer pattern is no match", MultiSz({L"ROOT"}), Bytes(), true, false},
        {"first string empty", RawUtf16(std::wstring(L"\0ROOT\\Demo\0\0", 12)), Bytes(), true,
         false},
        {"value without terminators", RawUtf16(L"ROOT\\Demo"), Bytes(), true, true},
        {"hardware IDs unreadable", MultiSz({L"ROOT\\Demo"}), MultiSz({L"ROOT\\Demo"}), false,
         true},
        {"neither list", Bytes(), Bytes(), true, false},
    };
    for (const Case& c : cases) {
        SimulatedDevices local;
        local.Add(c.hardwareIds, c.compatibleIds).hardwareIdsReadable = c.hardwareReadable;
        g_visits.clear();
        EXPECT_EQ(ResultOk, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit)) << c.name;
        EXPECT_EQ(c.matches ? 1u : 0u, g_visits.size()) << c.name;
        EXPECT_TRUE(local.Balanced()) << c.name;
    }
}

TEST_F(EnumerateDevicesTest, CaseFoldingIsAsciiOnly)
{
    EXPECT_EQ(1, MatchDeviceId(L"ROOT\\ABC_z", L"root\\abc_Z"));
    EXPECT_EQ(0, MatchDeviceId(L"ROOT\\\u00C9", L"ROOT\\\u00E9"));  // É and é
    EXPECT_EQ(0, MatchDeviceId(L"ROOT\\\u0130", L"ROOT\\i"));       // İ is not I
    EXPECT_EQ(1, MatchDeviceId(L"", L""));
    EXPECT_EQ(0, MatchDeviceId(L"A", L""));
}

TEST_F(EnumerateDevicesTest, DeviceMatchingInBothListsIsVisitedOnce)
{
    sim.Add(MultiSz({L"ROOT\\Demo", L"root\\demo"}), MultiSz({L"ROOT\\DEMO"}));
    EXPECT_EQ(ResultOk, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit));
    EXPECT_EQ(1u, g_visits.size());
}

TEST_F(EnumerateDevicesTest, MemberIndexCountsAllPresentDevices)
{
    sim.Add(MultiSz({L"A"}));
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    sim.Add(MultiSz({L"B"}));
    sim.Add(Bytes(), MultiSz({L"ROOT\\Demo"}));
    EXPECT_EQ(ResultOk, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit));
    ASSERT_EQ(2u, g_visits.size());
    EXPECT_EQ(1u, g_visits[0].index);
    EXPECT_EQ(3u, g_visits[1].index);
    EXPECT_NE(g_visits[0].devInst, g_visits[1].devInst);
}

TEST_F(EnumerateDevicesTest, CallbackEndsTheWalkWithItsValue)
{
    for (int i = 0; i < 4; ++i) {
        sim.Add(MultiSz({L"ROOT\\Demo"}));
    }
    g_stopAt = 2;
    EXPECT_EQ(7, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit));
    EXPECT_EQ(2u, g_visits.size());
    EXPECT_EQ("SetupDiDestroyDeviceInfoList", sim.calls.back());
    EXPECT_EQ("SetupDiEnumDeviceInfo(1)", sim.calls[sim.calls.size() - 4]);
    EXPECT_TRUE(sim.Balanced());
}

TEST_F(EnumerateDevicesTest, LargeValueIsReadAgainAtItsReportedSize)
{
    std::vector<std::wstring> ids;
    for (int i = 0; i < 500; ++i) {
        ids.push_back(L"ROOT\\FILLER_" + std::to_wstring(i));
    }
    std::wstring text;
    for (const std::wstring& id : ids) {
        text += id + std::wstring(1, L'\0');
    }
    text += std::wstring(L"ROOT\\Demo\0\0", 11);
    Bytes value = RawUtf16(text);
    ASSERT_GT(value.size(), 8192u);
    sim.Add(value);
    int found = 0;
    EXPECT_EQ(ResultOk, EnumerateDevices(L"root\\demo", &found, &MarkDeviceFound));
    EXPECT_EQ(1, found);
    const std::string size = std::to_string(value.size());
    EXPECT_EQ("SetupDiGetDeviceRegistryPropertyW(device=0,property=1,size=8192)", sim.calls[3]);
    EXPECT_EQ("SetupDiGetDeviceRegistryPropertyW(device=0,property=1,size=" + size + ")",
              sim.calls[4]);
    EXPECT_EQ("SetupDiGetDeviceRegistryPropertyW(device=0,property=2,size=8192)", sim.calls[5]);
    EXPECT_TRUE(sim.Balanced());
}

TEST_F(EnumerateDevicesTest, NullHardwareIdIsAUsageErrorWithoutAnyCall)
{
    EXPECT_EQ(ResultUsage, EnumerateDevices(nullptr, nullptr, &MarkDeviceFound));
    EXPECT_TRUE(sim.calls.empty());
    EXPECT_FALSE(log.LogExists());
}

TEST_F(EnumerateDevicesTest, MarkDeviceFoundWithoutContextChangesNothing)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    EXPECT_EQ(0, MarkDeviceFound(nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(ResultOk, EnumerateDevices(L"ROOT\\Demo", nullptr, &MarkDeviceFound));
    EXPECT_EQ("SetupDiEnumDeviceInfo(2)", sim.calls[sim.calls.size() - 2]);
}

TEST_F(EnumerateDevicesTest, DeviceSetUnobtainableLogs88And142)
{
    Fail<win::SetupDiGetClassDevsExW> fail(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    EXPECT_EQ(ResultFailed, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit));
    EXPECT_EQ(NewLog(Entry(88, L"SetupDiGetClassDevsEx fail,error code is 0x5!") +
                     Entry(142, L"EnumerateDevices fail,error code is 0x5!")),
              log.Bytes());
    EXPECT_TRUE(g_visits.empty());
    EXPECT_TRUE(sim.calls.empty());
}

TEST_F(EnumerateDevicesTest, ListDetailsUnreadableLogs97And142AndDestroysTheSet)
{
    Fail<win::SetupDiGetDeviceInfoListDetailW> fail(FALSE, ERROR_INVALID_PARAMETER);
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    EXPECT_EQ(ResultFailed, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit));
    EXPECT_EQ(NewLog(Entry(97, L"SetupDiGetDeviceInfoListDetail fail,error code is 0x57!") +
                     Entry(142, L"EnumerateDevices fail,error code is 0x57!")),
              log.Bytes());
    EXPECT_TRUE(g_visits.empty());
    EXPECT_TRUE(sim.Balanced());
}

// Any refusal of the enumeration ends the walk as its end would.
TEST_F(EnumerateDevicesTest, EnumerationRefusalEndsTheWalkQuietly)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    Fail<win::SetupDiEnumDeviceInfo> fail(FALSE, ERROR_INVALID_USER_BUFFER, 1);
    EXPECT_EQ(ResultOk, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit));
    EXPECT_EQ(1u, g_visits.size());
    EXPECT_TRUE(sim.Balanced());
    EXPECT_FALSE(log.LogExists());
}

// A property that reports a different type than REG_MULTI_SZ when it does
// not fit is not read again.
TEST_F(EnumerateDevicesTest, PropertyReadFailuresOtherThanSizeAreFinal)
{
    sim.Add(MultiSz({L"ROOT\\Demo"}));
    Override<win::SetupDiGetDeviceRegistryPropertyW> property(
        [](HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD type, PBYTE, DWORD, PDWORD required) -> BOOL {
            SimulatedDevices::Current()->calls.push_back("property");
            *type = REG_SZ;
            *required = 20000;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        });
    EXPECT_EQ(ResultOk, EnumerateDevices(L"ROOT\\Demo", nullptr, &RecordVisit));
    EXPECT_TRUE(g_visits.empty());
    EXPECT_EQ(2, std::count(sim.calls.begin(), sim.calls.end(), "property"));
}

TEST(MultiSzListTest, KeepsItsTextBufferOneSlotBeforeTheFirstString)
{
    const wchar_t text[] = L"ab\0c\0\0";
    auto* buffer = static_cast<wchar_t*>(malloc(sizeof(text)));
    memcpy(buffer, text, sizeof(text));
    MultiSzList list = SplitMultiSz(buffer);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(buffer, list[-1]);
    EXPECT_EQ(buffer, list[0]);
    EXPECT_EQ(buffer + 3, list[1]);
    EXPECT_EQ(nullptr, list[2]);
    FreeMultiSzList(list);
    FreeMultiSzList(nullptr);

    auto* empty = static_cast<wchar_t*>(calloc(2, sizeof(wchar_t)));
    MultiSzList none = SplitMultiSz(empty);
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(nullptr, none[0]);
    EXPECT_EQ(empty, none[-1]);
    FreeMultiSzList(none);
}

}  // namespace
