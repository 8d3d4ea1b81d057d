#include "buf_dump.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "message_sink.h"

namespace {
constexpr int BUF_DUMP_MAX_BYTES = 128;
}

void buf_dump(const char* label, const u8* buf, int len) {
    std::string text;
    char piece[32];
    // The label is the caller's: it goes in whole, whatever its length.
    text += label;
    std::snprintf(piece, sizeof piece, ": #%d==\n", len);
    text += piece;
    const int shown = std::clamp(len, 0, BUF_DUMP_MAX_BYTES);
    std::snprintf(piece, sizeof piece, "\n%3d: ", 0);
    text += piece;
    for (int p = 0; p < shown; ++p) {
        if (p != 0 && p % 16 == 0) {
            std::snprintf(piece, sizeof piece, "\n%3d: ", p);
            text += piece;
        }
        std::snprintf(piece, sizeof piece, p % 8 == 7 ? "%02x  " : "%02x ", buf[p]);
        text += piece;
    }
    messages().write(text + "\n");
}
