#include "run_lock.h"

#include "diagnostics/detail_log.h"
#include "setup_result.h"
#include "system_calls.h"

// Global: runs in other sessions (an installer as SYSTEM in session 0, an
// administrator at the desktop) work on the same devices.
const wchar_t CRunLock::kName[] = L"Global\\PinwheelDeviceSetup";
const DWORD CRunLock::kWaitMilliseconds = 5 * 60 * 1000;

namespace {

// SYSTEM and the administrators, whichever of them created it, can wait for
// and release it. With the creator's default access an administrator could
// not open a lock that a SYSTEM run made.
const wchar_t kAccessRules[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

}  // namespace

CRunLock::CRunLock() : m_held(false) {}

CRunLock::~CRunLock()
{
    // Released before the handle closes.
    Release();
}

int CRunLock::Acquire()
{
    if (!m_mutex.IsValid()) {
        // Without the descriptor the mutex still works between runs of one
        // account: the default access is the fallback.
        UniqueLocalMemory descriptor;
        if (!win::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                kAccessRules, SDDL_REVISION_1, descriptor.Out(), nullptr)) {
            *descriptor.Out() = nullptr;
        }
        SECURITY_ATTRIBUTES attributes;
        attributes.nLength = sizeof(attributes);
        attributes.lpSecurityDescriptor = descriptor.Get();
        attributes.bInheritHandle = FALSE;
        *m_mutex.Out() = win::CreateMutexW(descriptor.IsValid() ? &attributes : nullptr, FALSE,
                                           kName);
        if (!m_mutex.IsValid()) {
            LogFailure(640, L"CreateMutex fail,error code is 0x%x!", win::GetLastError());
            return ResultFailed;
        }
    }
    const DWORD wait = win::WaitForSingleObject(m_mutex.Get(), kWaitMilliseconds);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        // Abandoned: a run was killed while it held the lock. Its device work
        // is over either way, so the lock is simply taken over.
        m_held = true;
        return ResultOk;
    }
    if (wait == WAIT_TIMEOUT) {
        LogFailure(655, L"Another setup is still running!");
        return ResultFailed;
    }
    LogFailure(647, L"WaitForSingleObject fail,error code is 0x%x!", win::GetLastError());
    return ResultFailed;
}

void CRunLock::Release()
{
    if (m_held) {
        m_held = false;
        const DWORD error = win::GetLastError();
        win::ReleaseMutex(m_mutex.Get());
        win::SetLastError(error);
    }
}
