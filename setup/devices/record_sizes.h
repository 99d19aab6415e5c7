#pragma once

#include <windows.h>
#include <setupapi.h>

// The platform checks each record's cbSize against the size it was built
// with. The code always takes sizes from sizeof; on 32-bit Windows these are
// the sizes the platform expects there.
#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "SP_DEVINFO_DATA");
static_assert(sizeof(SP_DEVINFO_LIST_DETAIL_DATA_W) == 550, "SP_DEVINFO_LIST_DETAIL_DATA_W");
static_assert(sizeof(SP_DEVINSTALL_PARAMS_W) == 556, "SP_DEVINSTALL_PARAMS_W");
static_assert(sizeof(SP_CLASSINSTALL_HEADER) == 8, "SP_CLASSINSTALL_HEADER");
static_assert(sizeof(SP_REMOVEDEVICE_PARAMS) == 16, "SP_REMOVEDEVICE_PARAMS");
#endif
