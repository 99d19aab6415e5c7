#pragma once

#include <windows.h>
#include <setupapi.h>

#include "multi_sz_list.h"

// Reads a multi-string registry property of a device (SPDRP_HARDWAREID,
// SPDRP_COMPATIBLEIDS) into a list. Null when the property cannot be read.
// The caller frees the list with FreeMultiSzList.
MultiSzList GetMultiSzDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property);
