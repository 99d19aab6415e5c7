#pragma once

#include <wchar.h>

// A null-terminated array of string pointers that owns its text. It is handed
// around as the address of its first element; the slot one before that holds
// the text buffer, so releasing the list needs nothing but the list.
//
//   slot 0: text buffer | slot 1..N: the strings, in buffer order | slot N+1: null
typedef wchar_t** MultiSzList;

// Splits a text of NUL-ended strings, ended by an empty string, into a list
// that takes over the buffer (allocated with malloc). Null when the index
// cannot be allocated; the buffer then stays with the caller.
MultiSzList SplitMultiSz(wchar_t* text);

// Frees the text buffer, then the index. A null list needs nothing.
void FreeMultiSzList(MultiSzList list);
