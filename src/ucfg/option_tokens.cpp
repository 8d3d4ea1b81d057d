#include "ucfg/option_tokens.h"

#include <cstdlib>

std::optional<std::string> token_cutter::next(char delimiter) {
    if (done_)
        return std::nullopt;
    const std::size_t end = text_.find(delimiter, pos_);
    if (end == std::string::npos) {
        done_ = true;
        return text_.substr(pos_);
    }
    std::string token = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return token;
}

u32 read_auto_number(const std::string& token) {
    return static_cast<u32>(std::strtol(token.c_str(), nullptr, 0));
}

u32 read_hex_number(const std::string& token) {
    return static_cast<u32>(std::strtoul(token.c_str(), nullptr, 16));
}
