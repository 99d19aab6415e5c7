#include "system_call_override.h"

#include <stdio.h>
#include <stdlib.h>

namespace system_call_override {

namespace {
ChainRecord* g_chains;
}  // namespace

void Register(ChainRecord* chain)
{
    chain->next = g_chains;
    g_chains = chain;
}

const char* EntryName(const void* entry)
{
    for (unsigned i = 0; i < win::kSystemCallCount; ++i) {
        if (win::kSystemCalls[i].entry == entry) {
            return win::kSystemCalls[i].name;
        }
    }
    return "an entry outside the table";
}

std::string PutEverythingBack()
{
    std::string report;
    for (ChainRecord* chain = g_chains; chain != nullptr; chain = chain->next) {
        const int depth = chain->depth();
        if (depth != 0) {
            report += std::string(report.empty() ? "" : ", ") + std::to_string(depth) +
                      " layer(s) still on " + EntryName(chain->entry);
            chain->discard();
        }
    }
    for (unsigned i = 0; i < win::kSystemCallCount; ++i) {
        if (*win::kSystemCalls[i].entry != win::kSystemCalls[i].original) {
            report += std::string(report.empty() ? "" : ", ") + win::kSystemCalls[i].name +
                      " not at its Windows function";
        }
    }
    win::RestoreAllSystemCalls();
    return report;
}

void TooManyLayers(const void* entry)
{
    // Nothing sensible can run on: the test would call into a layer that
    // does not exist.
    fprintf(stderr, "too many layers on %s\n", EntryName(entry));
    fflush(stderr);
    abort();
}

}  // namespace system_call_override
