// Cutting and number reading shared by the option-text parsers of the user
// record (SI values and the per-port feature values).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/types.h"

// Hands out the tokens of a text the way strsep(3) does: every delimiter ends
// a token, so two delimiters in a row give an empty token and a trailing
// delimiter gives an empty last token. The first call always yields a token
// (the whole text when it has no delimiter); after the last one, none.
class token_cutter {
public:
    explicit token_cutter(std::string text) : text_(std::move(text)) {}
    std::optional<std::string> next(char delimiter);

private:
    std::string text_;
    std::size_t pos_ = 0;
    bool done_ = false;
};

// strtol with base 0: decimal, 0x/0X hexadecimal, leading-0 octal; a text that
// is no number reads as 0. The low 32 bits of the reading, which is all that
// any record field keeps.
u32 read_auto_number(const std::string& token);

// strtoul with base 16 (an optional 0x prefix is accepted), low 32 bits.
u32 read_hex_number(const std::string& token);
