#include "action_calls.h"

namespace msica {

#define PINWHEEL_DEFINE_ENTRY(name) decltype(&::name) name = &::name;
PINWHEEL_MSI_CALLS(PINWHEEL_DEFINE_ENTRY)
#undef PINWHEEL_DEFINE_ENTRY

}  // namespace msica
