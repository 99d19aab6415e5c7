// Scoped replacement of the setup tool's system-call entries in tests.
//
//   Override<win::CreateFileW> o(MyFake);        // stand in for a call
//   Fail<win::CreateFileW> f(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
//   Fail<win::GetFullPathNameW> g(0, 5, 1);      // the first call passes
//
// Both put the entry back when they go out of scope.
#pragma once

#include <type_traits>

#include "system_calls.h"

template <auto& Entry>
class Override {
public:
    using Fn = std::remove_reference_t<decltype(Entry)>;
    explicit Override(Fn replacement) : m_saved(Entry) { Entry = replacement; }
    ~Override() { Entry = m_saved; }
    Override(const Override&) = delete;
    Override& operator=(const Override&) = delete;

private:
    Fn m_saved;
};

// Value for Fail's last error that leaves the last error alone, as the
// registry calls do: they return their status instead.
constexpr DWORD kKeepLastError = 0xFFFFFFFF;

template <auto& Entry, typename Fn = std::remove_reference_t<decltype(Entry)>>
class Fail;

template <auto& Entry, typename R, typename... A>
class Fail<Entry, R(WINAPI*)(A...)> {
public:
    // Makes the entry return `result` with `lastError` set, after letting the
    // first `passFirst` calls through to what the entry was bound to.
    Fail(R result, DWORD lastError, int passFirst = 0) : m_saved(Entry)
    {
        s_next = Entry;
        s_result = result;
        s_lastError = lastError;
        s_pass = passFirst;
        s_calls = 0;
        Entry = &Thunk;
    }
    ~Fail() { Entry = m_saved; }
    Fail(const Fail&) = delete;
    Fail& operator=(const Fail&) = delete;

    // How many calls reached the entry, passed ones included.
    static int Calls() { return s_calls; }

private:
    static R WINAPI Thunk(A... args)
    {
        if (s_calls++ < s_pass) {
            return s_next(args...);
        }
        if (s_lastError != kKeepLastError) {
            ::SetLastError(s_lastError);
        }
        return s_result;
    }

    R(WINAPI* m_saved)(A...);
    static inline R(WINAPI* s_next)(A...);
    static inline R s_result;
    static inline DWORD s_lastError;
    static inline int s_pass;
    static inline int s_calls;
};
