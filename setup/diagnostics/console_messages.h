#pragma once

#include <stdio.h>

// Prints the text of a message number from the executable's own message
// table, with the wide-string inserts %1, %2, ... filled in. The text ends in
// exactly one line break if it ended in any; without a text nothing is
// printed. The text goes out whole and at once (see PrintWideText).
void PrintMessage(FILE* stream, unsigned long messageId, ...);
