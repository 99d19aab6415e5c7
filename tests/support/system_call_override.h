// Scoped replacement of the setup tool's system-call entries in tests: the one
// way tests fail a call or stand in for a service.
//
//   Override<win::CreateFileW> o(MyFake);        // stand in for a call
//   Fail<win::CreateFileW> f(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
//   Fail<win::GetFullPathNameW> g(0, 5, 1);      // the first call passes
//
// Replacements of one entry stack up: each is a layer above what the entry
// held when it was made, and a replacement passes a call on to the layer
// below with Override<win::X>::Next() (inside a replacement: what was there
// before the replacement now running, even when one function stands in at
// several layers, as nested simulations do). A layer going away restores
// exactly what it replaced; one that goes out of turn leaves a pass-through
// behind until the layers above it have gone too. After every test the test
// programs' main checks that every entry is back at its Windows function
// (fails the test if not) and puts every entry back.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "system_calls.h"

namespace system_call_override {

// Every entry that has layers registers how to take them all away, so that
// a test that leaves one behind cannot spoil the next test.
struct ChainRecord {
    const void* entry;
    int (*depth)();
    void (*discard)();
    ChainRecord* next;
};
void Register(ChainRecord* chain);
// The table name of an entry, or "an entry outside the table".
const char* EntryName(const void* entry);
// Takes away every layer still in place and puts every table entry back at
// its Windows function. Returns what had to be put back ("" when nothing),
// for the check after each test.
std::string PutEverythingBack();
[[noreturn]] void TooManyLayers(const void* entry);

// The layers of one entry. The entry holds the trampoline of its top layer;
// each trampoline knows its depth, so it marks its layer as the one running
// before calling the layer's replacement, and Next() can answer from there.
template <auto& Entry, typename Fn = std::remove_reference_t<decltype(Entry)>>
struct Chain;

template <auto& Entry, typename R, typename... A>
struct Chain<Entry, R(WINAPI*)(A...)> {
    using Fn = R(WINAPI*)(A...);
    static constexpr int kMaxDepth = 16;

    struct Slot {
        Fn replacement;
        Fn previous;       // what the entry held before this layer
        void* context;     // the object that made the layer
        bool passThrough;  // the layer has gone out of turn
    };
    static inline Slot s_slots[kMaxDepth];
    static inline int s_depth = 0;
    static inline int s_running = -1;
    // The return address of the latest call that came from outside the chain.
    static inline void* s_caller = nullptr;

    class Running {
    public:
        explicit Running(int depth) : m_saved(s_running) { s_running = depth; }
        ~Running() { s_running = m_saved; }

    private:
        int m_saved;
    };

    template <int D>
    static R WINAPI Trampoline(A... args)
    {
        if (s_running < 0) {
            s_caller = __builtin_return_address(0);
        }
        Running running(D);
        const Slot& slot = s_slots[D];
        return (slot.passThrough ? slot.previous : slot.replacement)(args...);
    }

    template <int... D>
    static constexpr Fn TrampolineOf(int depth, std::integer_sequence<int, D...>)
    {
        constexpr Fn all[] = {&Trampoline<D>...};
        return all[depth];
    }

    static int Push(Fn replacement, void* context)
    {
        if (!s_registered) {
            s_registered = true;
            Register(&s_record);
        }
        if (s_depth == kMaxDepth) {
            TooManyLayers(&Entry);
        }
        s_slots[s_depth] = Slot{replacement, Entry, context, false};
        Entry = TrampolineOf(s_depth, std::make_integer_sequence<int, kMaxDepth>());
        return s_depth++;
    }

    static void Pop(int depth)
    {
        if (depth >= s_depth) {
            return;  // already taken away after a test that left it behind
        }
        s_slots[depth].passThrough = true;
        while (s_depth > 0 && s_slots[s_depth - 1].passThrough) {
            --s_depth;
            Entry = s_slots[s_depth].previous;
        }
    }

    static Fn Next()
    {
        const int depth = s_running >= 0 ? s_running : s_depth - 1;
        return depth >= 0 ? s_slots[depth].previous : Entry;
    }
    static void* RunningContext() { return s_running >= 0 ? s_slots[s_running].context : nullptr; }
    static int Depth() { return s_depth; }
    static void Discard()
    {
        if (s_depth > 0) {
            Entry = s_slots[0].previous;
        }
        s_depth = 0;
        s_running = -1;
    }

    static inline ChainRecord s_record = {&Entry, &Depth, &Discard, nullptr};
    static inline bool s_registered = false;
};

}  // namespace system_call_override

template <auto& Entry>
class Override {
    using Chain = system_call_override::Chain<Entry>;

public:
    using Fn = std::remove_reference_t<decltype(Entry)>;
    explicit Override(Fn replacement) : m_depth(Chain::Push(replacement, this)) {}
    ~Override() { Chain::Pop(m_depth); }
    Override(const Override&) = delete;
    Override& operator=(const Override&) = delete;

    // Inside a replacement of this entry: what the entry held before the
    // replacement now running, to pass the call on to. Elsewhere: what it
    // held before its top layer.
    static Fn Next() { return Chain::Next(); }
    // The return address of the latest call of the entry made from outside
    // its layers: where in the code under test the call came from.
    static void* Caller() { return Chain::s_caller; }

private:
    int m_depth;
};

// Value for Fail's last error that leaves the last error alone, as the
// registry calls do: they return their status instead.
constexpr DWORD kKeepLastError = 0xFFFFFFFF;

template <auto& Entry, typename Fn = std::remove_reference_t<decltype(Entry)>>
class Fail;

template <auto& Entry, typename R, typename... A>
class Fail<Entry, R(WINAPI*)(A...)> {
    using Chain = system_call_override::Chain<Entry>;

public:
    // Makes the entry return `result` with `lastError` set, after letting the
    // first `passFirst` calls through to what the entry held before.
    Fail(R result, DWORD lastError, int passFirst = 0)
        : m_result(result),
          m_lastError(lastError),
          m_pass(passFirst),
          m_calls(0),
          m_outer(s_innermost),
          m_depth(Chain::Push(&Thunk, this))
    {
        s_innermost = this;
    }
    ~Fail()
    {
        Chain::Pop(m_depth);
        s_lastCalls = m_calls;
        // Out of turn too: unlink this one wherever it is.
        for (Fail** link = &s_innermost; *link != nullptr; link = &(*link)->m_outer) {
            if (*link == this) {
                *link = m_outer;
                break;
            }
        }
    }
    Fail(const Fail&) = delete;
    Fail& operator=(const Fail&) = delete;

    // How many calls reached the innermost live Fail of this entry, passed
    // ones included (once none is live: the last one that went).
    static int Calls() { return s_innermost != nullptr ? s_innermost->m_calls : s_lastCalls; }

private:
    static R WINAPI Thunk(A... args)
    {
        Fail* self = static_cast<Fail*>(Chain::RunningContext());
        if (self->m_calls++ < self->m_pass) {
            return Chain::Next()(args...);
        }
        if (self->m_lastError != kKeepLastError) {
            ::SetLastError(self->m_lastError);
        }
        return self->m_result;
    }

    R m_result;
    DWORD m_lastError;
    int m_pass;
    int m_calls;
    Fail* m_outer;
    int m_depth;
    static inline Fail* s_innermost = nullptr;
    static inline int s_lastCalls = 0;
};

// Overrides made together and taken away together, the last made first:
// what a simulation that stands in for several calls holds.
class OverrideSet {
public:
    OverrideSet() = default;
    ~OverrideSet() { Clear(); }
    OverrideSet(const OverrideSet&) = delete;
    OverrideSet& operator=(const OverrideSet&) = delete;

    template <auto& Entry>
    void Add(std::remove_reference_t<decltype(Entry)> replacement)
    {
        m_layers.push_back(std::make_unique<Layer<Entry>>(replacement));
    }
    void Clear()
    {
        while (!m_layers.empty()) {
            m_layers.pop_back();
        }
    }

private:
    struct AnyLayer {
        virtual ~AnyLayer() = default;
    };
    template <auto& Entry>
    struct Layer : AnyLayer {
        explicit Layer(std::remove_reference_t<decltype(Entry)> replacement) : held(replacement) {}
        Override<Entry> held;
    };
    std::vector<std::unique_ptr<AnyLayer>> m_layers;
};
