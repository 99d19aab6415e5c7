#include "device_property.h"

#include <stdlib.h>

#include "system_calls.h"

namespace {
// Most identifier lists fit; a larger one is read again at its own size.
const DWORD kFirstOffer = 8192;
// Room behind the data for two more NULs, for values stored without theirs.
const DWORD kTerminatorBytes = 2 * sizeof(wchar_t);
}  // namespace

MultiSzList GetMultiSzDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property)
{
    DWORD offered = kFirstOffer;
    wchar_t* buffer = static_cast<wchar_t*>(malloc(offered + kTerminatorBytes));
    for (;;) {
        if (buffer == nullptr) {
            return nullptr;
        }
        DWORD type = 0;
        DWORD required = 0;
        if (win::SetupDiGetDeviceRegistryPropertyW(set, device, property, &type,
                                                   reinterpret_cast<BYTE*>(buffer), offered,
                                                   &required)) {
            // The platform never reports more than it was offered on success;
            // should it, the NULs still have to land inside the buffer.
            if (required > offered) {
                required = offered;
            }
            buffer[required / 2] = L'\0';
            buffer[required / 2 + 1] = L'\0';
            MultiSzList list = SplitMultiSz(buffer);
            if (list == nullptr) {
                free(buffer);
            }
            return list;
        }
        if (win::GetLastError() != ERROR_INSUFFICIENT_BUFFER || type != REG_MULTI_SZ) {
            free(buffer);
            return nullptr;
        }
        free(buffer);
        offered = required;
        buffer = static_cast<wchar_t*>(malloc((required / 2 + 2) * sizeof(wchar_t)));
    }
}
