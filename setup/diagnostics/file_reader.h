#pragma once

#include <windows.h>

// A file opened by path with caller-chosen CreateFileW parameters, read and
// written at explicit offsets.
class IFileReader {
public:
    virtual ~IFileReader() {}
    virtual bool Open(const wchar_t* path, DWORD desiredAccess, DWORD shareMode,
                      DWORD creationDisposition, DWORD flagsAndAttributes) = 0;
    virtual bool Close() = 0;
    virtual bool ReadAt(LONGLONG offset, DWORD count, void* buffer, DWORD* countRead,
                        DWORD reserved) = 0;
    virtual bool WriteAt(LONGLONG offset, DWORD count, const void* data, DWORD* countWritten,
                         DWORD reserved) = 0;
    virtual bool Reserved1(DWORD unused) = 0;
    virtual bool GetSize(LONGLONG* size) = 0;
    virtual bool SetSize(LONGLONG size) = 0;
    virtual bool GetAttributes(DWORD* attributes) = 0;
    virtual bool SetAttributes(DWORD attributes) = 0;
    virtual bool Reserved2() = 0;
    virtual bool Delete() = 0;
    virtual bool IsOpen() = 0;
};

class CFileReader : public IFileReader {
public:
    CFileReader();
    ~CFileReader() override;
    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;

    bool Open(const wchar_t* path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
              DWORD flagsAndAttributes) override;
    // Releases the handle only: the open flag stays set, so the object is
    // not opened a second time.
    bool Close() override;
    bool ReadAt(LONGLONG offset, DWORD count, void* buffer, DWORD* countRead,
                DWORD reserved) override;
    bool WriteAt(LONGLONG offset, DWORD count, const void* data, DWORD* countWritten,
                 DWORD reserved) override;
    bool Reserved1(DWORD unused) override;
    bool GetSize(LONGLONG* size) override;
    bool SetSize(LONGLONG size) override;
    bool GetAttributes(DWORD* attributes) override;
    bool SetAttributes(DWORD attributes) override;
    bool Reserved2() override;
    bool Delete() override;
    bool IsOpen() override;

    // The open file, for the checks and locks that the object does not
    // offer itself; INVALID_HANDLE_VALUE when there is none.
    HANDLE Handle() const { return m_file; }

private:
    bool Seek(LONGLONG offset);

    bool m_open;
    HANDLE m_file;
    wchar_t m_path[MAX_PATH];
};
