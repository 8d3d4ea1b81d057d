// A production line's identity pool: serial numbers (a prefix and a
// zero-padded counter) and blocks of consecutive MAC addresses, read from a
// JSON file. Card k of the pool gets serial number `first + k` and the block
// of `per_card` addresses starting at `mac.first + k * per_card`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct pool_spec {
    std::string name;
    std::string serial_prefix;
    std::uint64_t serial_first = 0;
    int serial_digits = 0;
    std::uint64_t mac_first = 0, mac_last = 0;  // 48-bit addresses, inclusive
    int per_card = 0;

    std::uint64_t blocks() const { return (mac_last - mac_first + 1) / static_cast<std::uint64_t>(per_card); }
    std::string serial(std::uint64_t index) const;
    std::uint64_t block_first(std::uint64_t index) const { return mac_first + index * static_cast<std::uint64_t>(per_card); }
    bool operator==(const pool_spec&) const = default;
};

// Reads a pool from its JSON text. Throws a usage error naming the field at
// fault: malformed or unknown keys, an empty MAC range or one that is not a
// multiple of per_card, a multicast or zero address anywhere in the range, a
// serial longer than the user record's serial field, or too few digits to
// number every block.
pool_spec parse_pool(const std::string& text);

// The same from a file; `path` is named in every refusal.
pool_spec load_pool(const std::string& path);

// "xx:xx:xx:xx:xx:xx" of a 48-bit address, and back (nullopt-like: false
// when `text` is not six colon-separated hexadecimal pairs).
std::string mac_string(std::uint64_t mac);
bool parse_mac48(const std::string& text, std::uint64_t& mac);

// The first `count` addresses from `first`, as text.
std::vector<std::string> mac_run(std::uint64_t first, int count);
