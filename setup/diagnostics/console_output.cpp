#include "console_output.h"

#include <io.h>
#include <stdlib.h>

#include "../system_calls.h"

namespace {

// Texts go to the console and through the conversion in pieces of at most
// this many units: long single writes are refused by older consoles, and the
// piece bounds the buffer of the conversion.
const size_t kPieceUnits = 4096;
const char kDefaultChar[] = "?";

// Keeps the caller's last error across the output, which calls Windows too.
class CLastErrorKeeper {
public:
    CLastErrorKeeper() : m_error(win::GetLastError()) {}
    ~CLastErrorKeeper() { win::SetLastError(m_error); }
    CLastErrorKeeper(const CLastErrorKeeper&) = delete;
    CLastErrorKeeper& operator=(const CLastErrorKeeper&) = delete;

private:
    DWORD m_error;
};

// The bytes of one converted piece: on the stack for the usual short text, on
// the heap for a longer one, freed whatever path the output takes.
class CByteBuffer {
public:
    CByteBuffer() : m_data(m_local), m_size(sizeof(m_local)) {}
    ~CByteBuffer()
    {
        if (m_data != m_local) {
            free(m_data);
        }
    }
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    // Makes room for `size` bytes; false when the heap has none.
    bool Reserve(int size)
    {
        if (size <= m_size) {
            return true;
        }
        char* data = static_cast<char*>(malloc(static_cast<size_t>(size)));
        if (data == nullptr) {
            return false;
        }
        if (m_data != m_local) {
            free(m_data);
        }
        m_data = data;
        m_size = size;
        return true;
    }
    char* Data() { return m_data; }

private:
    char m_local[512];
    char* m_data;
    int m_size;
};

// How many units of the text, at most kPieceUnits, make the next piece; a
// surrogate pair is never split between two pieces.
size_t PieceLength(const wchar_t* text, size_t length)
{
    if (length <= kPieceUnits) {
        return length;
    }
    size_t count = kPieceUnits;
    if (IS_HIGH_SURROGATE(text[count - 1])) {
        --count;
    }
    return count;
}

// The code pages whose conversion the system refuses with any flag or with
// a default character of the caller's: UTF-8, UTF-7, symbol, the ISO-2022
// pages, HZ-GB2312, GB18030 and ISCII. Each uses the system's own default
// character where it has one (the Unicode pages hold every character).
bool TakesConversionOptions(UINT codePage)
{
    switch (codePage) {
        case CP_UTF8:
        case CP_UTF7:
        case 42:
        case 50220:
        case 50221:
        case 50222:
        case 50225:
        case 50227:
        case 50229:
        case 52936:
        case 54936:
            return false;
        default:
            return codePage < 57002 || codePage > 57011;
    }
}

// Converts `count` units to the code page; returns the number of bytes, 0
// when the piece cannot be converted.
int Convert(UINT codePage, const wchar_t* text, size_t count, CByteBuffer& bytes)
{
    const bool options = TakesConversionOptions(codePage);
    // Without WC_NO_BEST_FIT_CHARS an 'e' would stand for an 'e' with an
    // accent: the path printed would name another file.
    const DWORD flags = options ? WC_NO_BEST_FIT_CHARS : 0;
    const char* defaultChar = options ? kDefaultChar : nullptr;
    const int units = static_cast<int>(count);
    const int size =
        win::WideCharToMultiByte(codePage, flags, text, units, nullptr, 0, defaultChar, nullptr);
    if (size <= 0 || !bytes.Reserve(size)) {
        return 0;
    }
    return win::WideCharToMultiByte(codePage, flags, text, units, bytes.Data(), size, defaultChar,
                                    nullptr);
}

// The last resort when no conversion is to be had: ASCII as it is, any other
// character (a surrogate pair being one) as '?'.
void WriteAsciiOnly(FILE* stream, const wchar_t* text, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (text[i] < 0x80) {
            fputc(static_cast<char>(text[i]), stream);
            continue;
        }
        if (IS_HIGH_SURROGATE(text[i]) && i + 1 < count && IS_LOW_SURROGATE(text[i + 1])) {
            ++i;
        }
        fputc(kDefaultChar[0], stream);
    }
}

// Converts the text and writes it through the text-mode stream, which turns
// each LF into CR LF: ASCII text comes out exactly as the stream's own bytes.
void WriteConverted(FILE* stream, const wchar_t* text, size_t length)
{
    // 0: the process has no console.
    UINT codePage = win::GetConsoleOutputCP();
    if (codePage == 0) {
        codePage = CP_ACP;
    }
    size_t done = 0;
    while (done < length) {
        const size_t count = PieceLength(text + done, length - done);
        CByteBuffer bytes;
        const int size = Convert(codePage, text + done, count, bytes);
        if (size > 0) {
            fwrite(bytes.Data(), 1, static_cast<size_t>(size), stream);
        } else {
            WriteAsciiOnly(stream, text + done, count);
        }
        done += count;
    }
}

// Writes all `count` units to the console; returns how many it took, fewer
// when a write failed.
size_t WriteAllToConsole(HANDLE console, const wchar_t* text, size_t count)
{
    size_t done = 0;
    while (done < count) {
        DWORD written = 0;
        const DWORD asked = static_cast<DWORD>(count - done);
        if (!win::WriteConsoleW(console, text + done, asked, &written, nullptr) || written == 0) {
            break;
        }
        done += written < asked ? written : asked;
    }
    return done;
}

// Writes the wide text to the console, each LF as CR LF; returns how many
// units of the text went out, all of them unless the console refused.
size_t WriteToConsole(HANDLE console, const wchar_t* text, size_t length)
{
    static const wchar_t kLineBreak[] = L"\r\n";
    const size_t lineBreakUnits = sizeof(kLineBreak) / sizeof(kLineBreak[0]) - 1;
    size_t done = 0;
    while (done < length) {
        if (text[done] == L'\n') {
            if (WriteAllToConsole(console, kLineBreak, lineBreakUnits) != lineBreakUnits) {
                return done;
            }
            ++done;
            continue;
        }
        size_t count = PieceLength(text + done, length - done);
        for (size_t i = 0; i < count; ++i) {
            if (text[done + i] == L'\n') {
                count = i;
                break;
            }
        }
        const size_t written = WriteAllToConsole(console, text + done, count);
        done += written;
        if (written != count) {
            return done;
        }
    }
    return done;
}

// The handle behind the stream, or INVALID_HANDLE_VALUE. A process started
// without standard handles has a stream without a descriptor.
HANDLE StreamHandle(FILE* stream)
{
    const int descriptor = _fileno(stream);
    if (descriptor < 0) {
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

}  // namespace

void PrintProgressText(FILE* stream, const char* text)
{
    fputs(text, stream);
    fflush(stream);
}

void PrintWideText(FILE* stream, const wchar_t* text, size_t length)
{
    CLastErrorKeeper keeper;
    size_t done = 0;
    const HANDLE handle = StreamHandle(stream);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && win::GetConsoleMode(handle, &mode)) {
        // What the stream still holds goes out first, so texts keep their
        // order.
        fflush(stream);
        done = WriteToConsole(handle, text, length);
    }
    if (done < length) {
        WriteConverted(stream, text + done, length - done);
    }
    fflush(stream);
}
