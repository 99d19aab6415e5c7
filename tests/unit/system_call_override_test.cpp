// The tests' one way of replacing system calls: layers that nest, pass calls
// on to what was there before, and always leave the table as they found it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "system_call_override.h"
#include "system_calls.h"

namespace {

std::vector<std::string> g_trail;

// Each stands in for GetSystemDirectoryW, notes that it ran, and passes the
// call on (except the last, which answers 7).
UINT WINAPI First(LPWSTR buffer, UINT size)
{
    g_trail.push_back("first");
    return Override<win::GetSystemDirectoryW>::Next()(buffer, size);
}
UINT WINAPI Second(LPWSTR buffer, UINT size)
{
    g_trail.push_back("second");
    return Override<win::GetSystemDirectoryW>::Next()(buffer, size);
}
UINT WINAPI Answer(LPWSTR, UINT)
{
    g_trail.push_back("answer");
    return 7;
}

// What an entry holds, and the Windows function the table binds it to.
template <auto& Entry>
void* Held()
{
    return reinterpret_cast<void*>(Entry);
}
template <auto& Entry>
void* Windows()
{
    for (unsigned i = 0; i < win::kSystemCallCount; ++i) {
        if (win::kSystemCalls[i].entry == reinterpret_cast<void**>(&Entry)) {
            return win::kSystemCalls[i].original;
        }
    }
    return nullptr;
}

TEST(SystemCallOverrideTest, LayersPassCallsDownAndGoLastFirst)
{
    g_trail.clear();
    {
        Override<win::GetSystemDirectoryW> answer(&Answer);
        Override<win::GetSystemDirectoryW> first(&First);
        {
            // The same function at two layers still passes each call down.
            Override<win::GetSystemDirectoryW> second(&Second);
            Override<win::GetSystemDirectoryW> again(&First);
            EXPECT_EQ(7u, win::GetSystemDirectoryW(nullptr, 0));
            EXPECT_EQ((std::vector<std::string>{"first", "second", "first", "answer"}), g_trail);
        }
        g_trail.clear();
        EXPECT_EQ(7u, win::GetSystemDirectoryW(nullptr, 0));
        EXPECT_EQ((std::vector<std::string>{"first", "answer"}), g_trail);
    }
    EXPECT_EQ(Windows<win::GetSystemDirectoryW>(), Held<win::GetSystemDirectoryW>());
    wchar_t folder[MAX_PATH];
    EXPECT_NE(0u, win::GetSystemDirectoryW(folder, MAX_PATH));
}

TEST(SystemCallOverrideTest, ALayerGoingOutOfTurnLeavesTheOthersWhole)
{
    g_trail.clear();
    auto answer = std::make_unique<Override<win::GetSystemDirectoryW>>(&Answer);
    auto first = std::make_unique<Override<win::GetSystemDirectoryW>>(&First);
    auto second = std::make_unique<Override<win::GetSystemDirectoryW>>(&Second);
    first.reset();
    EXPECT_EQ(7u, win::GetSystemDirectoryW(nullptr, 0));
    EXPECT_EQ((std::vector<std::string>{"second", "answer"}), g_trail);
    answer.reset();
    EXPECT_NE(Windows<win::GetSystemDirectoryW>(), Held<win::GetSystemDirectoryW>());
    second.reset();
    EXPECT_EQ(Windows<win::GetSystemDirectoryW>(), Held<win::GetSystemDirectoryW>());
}

TEST(SystemCallOverrideTest, NestedFailuresOfOneEntryEachCountTheirOwnCalls)
{
    Fail<win::GetSystemDirectoryW> outer(0, ERROR_ACCESS_DENIED, 1);
    EXPECT_NE(0u, win::GetSystemDirectoryW(nullptr, 0));  // through to Windows
    {
        Fail<win::GetSystemDirectoryW> inner(0, ERROR_NOT_ENOUGH_MEMORY, 1);
        // The inner one lets its first call through to the outer one.
        SetLastError(0);
        EXPECT_EQ(0u, win::GetSystemDirectoryW(nullptr, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(0u, win::GetSystemDirectoryW(nullptr, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
        EXPECT_EQ(2, Fail<win::GetSystemDirectoryW>::Calls());
    }
    EXPECT_EQ(2, outer.Calls());
}

TEST(SystemCallOverrideTest, WhatATestLeavesBehindIsReportedAndPutBack)
{
    EXPECT_EQ("", system_call_override::PutEverythingBack());
    // Leaked on purpose: the check after a test finds it and takes it away.
    new Override<win::GetSystemDirectoryW>(&Answer);
    win::GetFileAttributesW = [](LPCWSTR) -> DWORD {
        return 0;
    };
    EXPECT_EQ(
        "1 layer(s) still on GetSystemDirectoryW, GetFileAttributesW not at its Windows "
        "function",
        system_call_override::PutEverythingBack());
    EXPECT_EQ(Windows<win::GetSystemDirectoryW>(), Held<win::GetSystemDirectoryW>());
    EXPECT_EQ(Windows<win::GetFileAttributesW>(), Held<win::GetFileAttributesW>());
    // Fresh layers after that work as ever.
    Override<win::GetSystemDirectoryW> answer(&Answer);
    EXPECT_EQ(7u, win::GetSystemDirectoryW(nullptr, 0));
}

}  // namespace
