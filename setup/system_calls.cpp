#include "system_calls.h"

namespace win {

#define PINWHEEL_DEFINE_ENTRY(name) decltype(&::name) name = &::name;
PINWHEEL_SYSTEM_CALLS(PINWHEEL_DEFINE_ENTRY)
#undef PINWHEEL_DEFINE_ENTRY

#define PINWHEEL_TABLE_ROW(name) \
    {#name, reinterpret_cast<void**>(&name), reinterpret_cast<void*>(&::name)},
const SystemCall kSystemCalls[] = {PINWHEEL_SYSTEM_CALLS(PINWHEEL_TABLE_ROW)};
#undef PINWHEEL_TABLE_ROW

const unsigned kSystemCallCount = sizeof(kSystemCalls) / sizeof(kSystemCalls[0]);

void RestoreAllSystemCalls()
{
    for (unsigned i = 0; i < kSystemCallCount; ++i) {
        *kSystemCalls[i].entry = kSystemCalls[i].original;
    }
}

}  // namespace win
