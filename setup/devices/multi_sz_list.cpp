#include "multi_sz_list.h"

#include <stdlib.h>

MultiSzList SplitMultiSz(wchar_t* text)
{
    size_t count = 0;
    for (const wchar_t* p = text; *p != L'\0'; p += wcslen(p) + 1) {
        ++count;
    }
    wchar_t** slots = static_cast<wchar_t**>(malloc((count + 2) * sizeof(wchar_t*)));
    if (slots == nullptr) {
        return nullptr;
    }
    slots[0] = text;
    size_t i = 1;
    for (wchar_t* p = text; *p != L'\0'; p += wcslen(p) + 1) {
        slots[i++] = p;
    }
    slots[i] = nullptr;
    return slots + 1;
}

void FreeMultiSzList(MultiSzList list)
{
    if (list == nullptr) {
        return;
    }
    wchar_t** slots = list - 1;
    if (slots[0] != nullptr) {
        free(slots[0]);
    }
    free(slots);
}
