#include "service_disable.h"

#include <stdlib.h>
#include <wchar.h>

#include "diagnostics/detail_log.h"
#include "system_calls.h"
#include "unique_handles.h"

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
// KEY_READ | KEY_WRITE, in the registry view of the running program.
const REGSAM kAccess = 0x2001F;

// The key path, owned by one call.
class KeyPath {
public:
    explicit KeyPath(const wchar_t* serviceName) : m_text(nullptr)
    {
        const size_t prefix = wcslen(kServicesKey);
        const size_t name = wcslen(serviceName);
        m_text = static_cast<wchar_t*>(malloc((prefix + name + 1) * sizeof(wchar_t)));
        if (m_text != nullptr) {
            wmemcpy(m_text, kServicesKey, prefix);
            wmemcpy(m_text + prefix, serviceName, name);
            m_text[prefix + name] = L'\0';
        }
    }
    ~KeyPath() { free(m_text); }
    KeyPath(const KeyPath&) = delete;
    KeyPath& operator=(const KeyPath&) = delete;
    const wchar_t* Get() const { return m_text; }

private:
    wchar_t* m_text;
};
}  // namespace

int DisableMyService(const wchar_t* serviceName)
{
    // The name is one key below Services: an empty name would write on the
    // Services key itself, a separator into another service or a subkey.
    bool validName = serviceName != nullptr && serviceName[0] != L'\0';
    for (const wchar_t* unit = serviceName; validName && *unit != L'\0'; ++unit) {
        validName = *unit != L'\\' && *unit != L'/';
    }
    if (!validName) {
        LogFailure(537, L"r.Open fail,error code is 0x%x!", ERROR_INVALID_NAME);
        return 0;
    }

    KeyPath path(serviceName);
    if (path.Get() == nullptr) {
        // Without memory for the path the key cannot be opened either.
        LogFailure(537, L"r.Open fail,error code is 0x%x!", ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }

    // Registry calls return their status and leave the last error alone, so
    // the status is the code that tells why.
    UniqueRegistryKey key;
    LONG status = win::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.Get(), 0, kAccess, key.Out());
    if (status != ERROR_SUCCESS) {
        LogFailure(537, L"r.Open fail,error code is 0x%x!", static_cast<DWORD>(status));
        return 0;
    }

    const DWORD disabled = 4;  // SERVICE_DISABLED
    status = win::RegSetValueExW(key.Get(), L"start", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&disabled), sizeof(disabled));
    if (status != ERROR_SUCCESS) {
        LogFailure(531, L"r.SetDWORDValue fail,error code is 0x%x!", static_cast<DWORD>(status));
        return 0;
    }
    return 1;
}
