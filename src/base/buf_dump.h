// Hexadecimal dump of a buffer, for verbose traces.
#pragma once

#include "types.h"

// Prints "<label>: #<len>==", an empty line and at most the first 128 bytes
// of `buf`, sixteen to a row labelled with its offset, in one output call.
void buf_dump(const char* label, const u8* buf, int len);
