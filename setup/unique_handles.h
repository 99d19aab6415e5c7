// Small owners of the setup tool's handles: each releases its handle through
// the system-call table when it goes out of scope, on every path. Releasing
// keeps the last error, so a failure is still read right after it.
#pragma once

#include "system_calls.h"

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    explicit UniqueHandle(Type handle = Traits::Invalid()) : m_handle(handle) {}
    ~UniqueHandle()
    {
        if (m_handle != Traits::Invalid()) {
            const DWORD error = win::GetLastError();
            Traits::Close(m_handle);
            win::SetLastError(error);
        }
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const { return m_handle; }
    bool IsValid() const { return m_handle != Traits::Invalid(); }
    // Where a call that opens the handle stores it.
    Type* Out() { return &m_handle; }

private:
    Type m_handle;
};

// A device information set or list; "none" is INVALID_HANDLE_VALUE, never
// null.
struct DeviceInfoSetTraits {
    using Type = HDEVINFO;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type set) { win::SetupDiDestroyDeviceInfoList(set); }
};
using UniqueDeviceInfoSet = UniqueHandle<DeviceInfoSetTraits>;

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type library) { win::FreeLibrary(library); }
};
using UniqueLibrary = UniqueHandle<LibraryTraits>;

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { win::RegCloseKey(key); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

// A kernel object opened as a file or folder.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type file) { win::CloseHandle(file); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

// A kernel object whose "none" is null, as CreateMutexW returns it.
struct KernelObjectTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type object) { win::CloseHandle(object); }
};
using UniqueKernelObject = UniqueHandle<KernelObjectTraits>;

// Memory that the system allocated for the caller to free with LocalFree.
struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type memory) { win::LocalFree(memory); }
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
