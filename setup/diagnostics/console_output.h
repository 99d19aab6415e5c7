// The tool's console text. Installers capture it into their own logs, so
// every text is flushed before the call returns: a captured line is there
// when it is printed, not when the tool exits.
#pragma once

#include <stddef.h>
#include <stdio.h>

// Prints a text of ASCII characters as it is (through the text-mode stream,
// so its bytes are those the stream has always written) and flushes.
void PrintProgressText(FILE* stream, const char* text);

// Prints `length` UTF-16 units of `text` whole and flushes; the last error is
// left as it was.
//
// On a console the wide text is written as it is, each LF as CR LF (what a
// text-mode stream writes). Otherwise it is converted to the console's output
// code page, or to the ANSI code page when the process has no console, and
// written through the stream; a character that page cannot hold becomes '?'
// and the rest of the text follows. Should the console refuse the wide text,
// the rest of it goes the converted way; should the conversion fail, ASCII
// characters are written as they are and every other character as '?'.
void PrintWideText(FILE* stream, const wchar_t* text, size_t length);
