#include "file_reader.h"

#include <winioctl.h>

#include "../system_calls.h"

CFileReader::CFileReader() : m_open(false), m_file(INVALID_HANDLE_VALUE), m_path() {}

CFileReader::~CFileReader()
{
    if (m_open && m_file != INVALID_HANDLE_VALUE && win::CloseHandle(m_file)) {
        m_file = INVALID_HANDLE_VALUE;
        m_open = false;
    }
}

bool CFileReader::Open(const wchar_t* path, DWORD desiredAccess, DWORD shareMode,
                       DWORD creationDisposition, DWORD flagsAndAttributes)
{
    if (path == nullptr || m_open) {
        return false;
    }
    // A path that could not be stored whole is refused before anything is
    // opened, so the stored path always names the open file.
    size_t length = 0;
    while (path[length] != L'\0') {
        if (++length >= MAX_PATH) {
            return false;
        }
    }
    HANDLE file = win::CreateFileW(path, desiredAccess, shareMode, nullptr, creationDisposition,
                                   flagsAndAttributes, nullptr);
    m_file = file;
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    for (size_t i = 0; i <= length; ++i) {
        m_path[i] = path[i];
    }
    m_open = true;
    return true;
}

bool CFileReader::Close()
{
    if (m_file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!win::CloseHandle(m_file)) {
        return false;
    }
    m_file = INVALID_HANDLE_VALUE;
    return true;
}

bool CFileReader::Seek(LONGLONG offset)
{
    LARGE_INTEGER position;
    position.QuadPart = offset;
    return win::SetFilePointerEx(m_file, position, nullptr, FILE_BEGIN) != FALSE;
}

bool CFileReader::ReadAt(LONGLONG offset, DWORD count, void* buffer, DWORD* countRead,
                         DWORD /*reserved*/)
{
    if (m_file == INVALID_HANDLE_VALUE || buffer == nullptr) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    if (!Seek(offset)) {
        return false;
    }
    DWORD done = 0;
    if (!win::ReadFile(m_file, buffer, count, &done, nullptr)) {
        return false;
    }
    if (countRead != nullptr) {
        *countRead = done;
    }
    return done == count;
}

bool CFileReader::WriteAt(LONGLONG offset, DWORD count, const void* data, DWORD* countWritten,
                          DWORD /*reserved*/)
{
    if (m_file == INVALID_HANDLE_VALUE || data == nullptr) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    if (!Seek(offset)) {
        return false;
    }
    DWORD done = 0;
    if (!win::WriteFile(m_file, data, count, &done, nullptr)) {
        return false;
    }
    if (countWritten != nullptr) {
        *countWritten = done;
    }
    return done == count;
}

bool CFileReader::Reserved1(DWORD /*unused*/)
{
    return false;
}

bool CFileReader::GetSize(LONGLONG* size)
{
    if (m_file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER value;
    if (!win::GetFileSizeEx(m_file, &value)) {
        return false;
    }
    *size = value.QuadPart;
    return true;
}

bool CFileReader::SetSize(LONGLONG size)
{
    if (m_file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!Seek(size)) {
        return false;
    }
    return win::SetEndOfFile(m_file) != FALSE;
}

bool CFileReader::GetAttributes(DWORD* attributes)
{
    DWORD value = win::GetFileAttributesW(m_path);
    *attributes = value;
    return value != INVALID_FILE_ATTRIBUTES;
}

bool CFileReader::SetAttributes(DWORD attributes)
{
    if (m_file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0) {
        DWORD returned = 0;
        if (!win::DeviceIoControl(m_file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned,
                                  nullptr)) {
            return false;
        }
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_SPARSE_FILE);
        if (attributes == 0) {
            return true;
        }
    }
    // The sparse state belongs to the open handle; every other bit is a plain
    // attribute of the file.
    return win::SetFileAttributesW(m_path, attributes) != FALSE;
}

bool CFileReader::Reserved2()
{
    return false;
}

bool CFileReader::Delete()
{
    if (!Close()) {
        return false;
    }
    return win::DeleteFileW(m_path) != FALSE;
}

bool CFileReader::IsOpen()
{
    return m_open;
}
