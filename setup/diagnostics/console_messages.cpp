#include "console_messages.h"

#include <stdarg.h>
#include <wchar.h>

#include "../system_calls.h"
#include "console_output.h"

void PrintMessage(FILE* stream, unsigned long messageId, ...)
{
    va_list args;
    va_start(args, messageId);
    wchar_t* text = nullptr;
    DWORD length =
        win::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                            messageId, 0, reinterpret_cast<wchar_t*>(&text), 0, &args);
    va_end(args);
    if (text == nullptr) {
        return;
    }
    if (length != 0) {
        DWORD end = length;
        while (end > 0 && (text[end - 1] == L'\r' || text[end - 1] == L'\n')) {
            --end;
        }
        if (end != length) {
            text[end] = L'\n';
            ++end;
        }
        PrintWideText(stream, text, end);
    }
    win::LocalFree(text);
}
