// Disabling the driver service in the real (Wine) registry, with the seam to
// see the exact calls and to fail them.
#include <gtest/gtest.h>

#include "devices/service_disable.h"
#include "log_directory.h"

namespace {

const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services\\";

class DisableMyServiceTest : public ::testing::Test {
protected:
    DisableMyServiceTest() : m_name(L"PinwheelUnitTest_" + std::to_wstring(GetCurrentProcessId()))
    {
        HKEY key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kServices + m_name).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        DWORD start = 3, type = 1;
        RegSetValueExW(key, L"Start", 0, REG_DWORD, reinterpret_cast<BYTE*>(&start), 4);
        RegSetValueExW(key, L"Type", 0, REG_DWORD, reinterpret_cast<BYTE*>(&type), 4);
        RegCloseKey(key);
    }
    ~DisableMyServiceTest() override
    {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kServices + m_name).c_str());
    }
    DWORD Value(const wchar_t* name) const
    {
        DWORD data = 0xFFFFFFFF, size = sizeof(data);
        RegGetValueW(HKEY_LOCAL_MACHINE, (kServices + m_name).c_str(), name, RRF_RT_REG_DWORD,
                     nullptr, &data, &size);
        return data;
    }

    std::wstring m_name;
    LogDirectory log;
};

struct OpenCall {
    HKEY root;
    std::wstring path;
    DWORD options;
    REGSAM access;
};
std::vector<OpenCall> g_opens;
int g_closes;

LSTATUS WINAPI RecordOpen(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key)
{
    g_opens.push_back(OpenCall{root, path, options, access});
    return RegOpenKeyExW(root, path, options, access, key);
}

LSTATUS WINAPI CountClose(HKEY key)
{
    ++g_closes;
    return RegCloseKey(key);
}

TEST_F(DisableMyServiceTest, WritesStartFourAndNothingElse)
{
    g_opens.clear();
    g_closes = 0;
    Override<win::RegOpenKeyExW> open(&RecordOpen);
    Override<win::RegCloseKey> close(&CountClose);
    EXPECT_EQ(1, DisableMyService(m_name.c_str()));
    ASSERT_EQ(1u, g_opens.size());
    EXPECT_EQ(HKEY_LOCAL_MACHINE, g_opens[0].root);
    EXPECT_EQ(kServices + m_name, g_opens[0].path);
    EXPECT_EQ(0u, g_opens[0].options);
    EXPECT_EQ(0x2001Fu, g_opens[0].access);
    EXPECT_EQ(1, g_closes);
    EXPECT_EQ(4u, Value(L"Start"));
    EXPECT_EQ(1u, Value(L"Type"));
    // Written again when it already reads 4.
    EXPECT_EQ(1, DisableMyService(m_name.c_str()));
    EXPECT_EQ(4u, Value(L"start"));
    EXPECT_FALSE(log.LogExists());
}

TEST_F(DisableMyServiceTest, MissingServiceKeyIsNotCreated)
{
    const std::wstring absent = m_name + L"_absent";
    EXPECT_EQ(0, DisableMyService(absent.c_str()));
    EXPECT_EQ(NewLog(Entry(537, L"r.Open fail,error code is 0x2!")), log.Bytes());
    HKEY key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kServices + absent).c_str(), 0, KEY_READ, &key));
}

// A name that is not one key below Services would write on the Services key
// itself, into another service or into a subkey: nothing is opened.
TEST_F(DisableMyServiceTest, NamesOutsideOneServiceKeyOpenNothing)
{
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"svc\\Parameters",
                                L"\\", L"svc/Parameters", L"..\\Other"}) {
        LogDirectory log;
        g_opens.clear();
        Override<win::RegOpenKeyExW> open(&RecordOpen);
        EXPECT_EQ(0, DisableMyService(name));
        EXPECT_TRUE(g_opens.empty());
        EXPECT_EQ(NewLog(Entry(537, L"r.Open fail,error code is 0x7b!")), log.Bytes());
    }
}

// The code in each entry is the status the failing registry call returned;
// the last error (here a decoy) plays no part.
TEST_F(DisableMyServiceTest, RegistryFailuresLogTheirStatusAndCloseTheKey)
{
    g_closes = 0;
    Override<win::RegCloseKey> close(&CountClose);
    {
        Fail<win::RegSetValueExW> refuse(ERROR_ACCESS_DENIED, kKeepLastError);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, DisableMyService(m_name.c_str()));
    }
    EXPECT_EQ(1, g_closes);
    EXPECT_EQ(3u, Value(L"Start"));
    {
        Fail<win::RegOpenKeyExW> refuse(ERROR_ACCESS_DENIED, kKeepLastError);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, DisableMyService(m_name.c_str()));
    }
    EXPECT_EQ(1, g_closes);
    EXPECT_EQ(NewLog(Entry(531, L"r.SetDWORDValue fail,error code is 0x5!") +
                     Entry(537, L"r.Open fail,error code is 0x5!")),
              log.Bytes());
}

}  // namespace
