#include "service_disable.h"

#include <string>

#include "diagnostics/detail_log.h"
#include "system_calls.h"

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
// KEY_READ | KEY_WRITE, in the registry view of the running program.
const REGSAM kAccess = 0x2001F;

class RegistryKey {
public:
    RegistryKey() : m_key(nullptr) {}
    ~RegistryKey()
    {
        if (m_key != nullptr) {
            win::RegCloseKey(m_key);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key;
};

}  // namespace

int DisableMyService(const wchar_t* serviceName)
{
    std::wstring path = kServicesKey;
    if (serviceName != nullptr) {
        path += serviceName;
    }

    // Registry calls return their status and leave the last error alone, so
    // the status is the code that tells why.
    RegistryKey key;
    LONG status = win::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, kAccess, key.Out());
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
