#include "pool.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "record/cfg.h"
#include "ctl_error.h"
#include "devices/sysfs_file.h"

namespace {

using json = nlohmann::json;

constexpr std::uint64_t MAC_MASK = 0xffffffffffffULL;
constexpr int MAX_SERIAL_DIGITS = 18;  // the counter stays within a signed 64-bit column

[[noreturn]] void refuse(const std::string& field, const std::string& why) {
    throw ctl_error(ctl_status::usage, "pool field " + field + ": " + why);
}

const json& member(const json& object, const std::string& parent, const char* key) {
    const std::string field = parent.empty() ? key : parent + "." + key;
    const auto it = object.find(key);
    if (it == object.end())
        refuse(field, "missing");
    return *it;
}

void only_keys(const json& object, const std::string& parent, std::initializer_list<const char*> keys) {
    if (!object.is_object())
        refuse(parent.empty() ? "(top level)" : parent, "must be an object");
    for (const auto& [key, value] : object.items())
        if (std::find_if(keys.begin(), keys.end(), [&](const char* k) { return key == k; }) == keys.end())
            refuse(parent.empty() ? key : parent + "." + key, "unknown key");
}

std::uint64_t whole_number(const json& v, const std::string& field, std::uint64_t lo, std::uint64_t hi) {
    if (!v.is_number_unsigned())
        refuse(field, "must be a whole number of at least 0");
    const auto n = v.get<std::uint64_t>();
    if (n < lo || n > hi)
        refuse(field, std::to_string(n) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return n;
}

std::string text(const json& v, const std::string& field) {
    if (!v.is_string())
        refuse(field, "must be a string");
    const auto s = v.get<std::string>();
    for (const char ch : s)
        if (ch <= ' ' || ch > '~')
            refuse(field, "'" + s + "' holds a character other than printable ASCII without blanks");
    return s;
}

std::uint64_t address(const json& v, const std::string& field) {
    std::uint64_t mac = 0;
    if (!v.is_string() || !parse_mac48(v.get<std::string>(), mac))
        refuse(field, "must be a MAC address xx:xx:xx:xx:xx:xx");
    if (mac == 0)
        refuse(field, "the zero address is no card's address");
    if ((mac >> 40) & 1)
        refuse(field, mac_string(mac) + " is a multicast address");
    return mac;
}

}  // namespace

std::string mac_string(std::uint64_t mac) {
    char out[18];
    std::snprintf(out, sizeof out, "%02x:%02x:%02x:%02x:%02x:%02x", static_cast<unsigned>(mac >> 40 & 0xff),
                  static_cast<unsigned>(mac >> 32 & 0xff), static_cast<unsigned>(mac >> 24 & 0xff),
                  static_cast<unsigned>(mac >> 16 & 0xff), static_cast<unsigned>(mac >> 8 & 0xff),
                  static_cast<unsigned>(mac & 0xff));
    return out;
}

bool parse_mac48(const std::string& text, std::uint64_t& mac) {
    if (text.size() != 17)
        return false;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 17; ++i) {
        const char ch = text[i];
        if (i % 3 == 2) {
            if (ch != ':')
                return false;
            continue;
        }
        const int digit = std::isxdigit(static_cast<unsigned char>(ch)) == 0 ? -1
                          : std::isdigit(static_cast<unsigned char>(ch)) != 0 ? ch - '0'
                                                                              : std::tolower(ch) - 'a' + 10;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    mac = value;
    return true;
}

std::vector<std::string> mac_run(std::uint64_t first, int count) {
    std::vector<std::string> macs;
    for (int i = 0; i < count; ++i)
        macs.push_back(mac_string((first + static_cast<std::uint64_t>(i)) & MAC_MASK));
    return macs;
}

std::string pool_spec::serial(std::uint64_t index) const {
    std::string number = std::to_string(serial_first + index);
    if (number.size() < static_cast<std::size_t>(serial_digits))
        number.insert(0, static_cast<std::size_t>(serial_digits) - number.size(), '0');
    return serial_prefix + number;
}

pool_spec parse_pool(const std::string& source) {
    const json doc = json::parse(source, nullptr, false);
    if (doc.is_discarded())
        refuse("(file)", "not JSON");
    only_keys(doc, "", {"name", "serial", "mac"});
    pool_spec p;
    p.name = text(member(doc, "", "name"), "name");
    if (p.name.empty() || p.name.size() > 64)
        refuse("name", "must hold 1 to 64 characters");

    const json& serial = member(doc, "", "serial");
    only_keys(serial, "serial", {"prefix", "first", "digits"});
    p.serial_prefix = text(member(serial, "serial", "prefix"), "serial.prefix");
    p.serial_first = whole_number(member(serial, "serial", "first"), "serial.first", 0, 999999999999999999ULL);
    p.serial_digits = static_cast<int>(whole_number(member(serial, "serial", "digits"), "serial.digits", 1, MAX_SERIAL_DIGITS));
    const std::size_t serial_len = p.serial_prefix.size() + static_cast<std::size_t>(p.serial_digits);
    if (serial_len > UCFG_TEXT_LEN)
        refuse("serial.prefix", "a serial of " + std::to_string(serial_len) + " characters does not fit the record's " +
                                    std::to_string(UCFG_TEXT_LEN) + "-character serial field");

    const json& mac = member(doc, "", "mac");
    only_keys(mac, "mac", {"first", "last", "per_card"});
    p.mac_first = address(member(mac, "mac", "first"), "mac.first");
    p.mac_last = address(member(mac, "mac", "last"), "mac.last");
    p.per_card = static_cast<int>(whole_number(member(mac, "mac", "per_card"), "mac.per_card", 1, 1 << 16));
    if (p.mac_last < p.mac_first)
        refuse("mac.last", mac_string(p.mac_last) + " comes before mac.first: the range is empty");
    // Consecutive addresses whose first byte changes pass through an odd
    // first byte, that is a multicast address.
    if ((p.mac_first >> 40) != (p.mac_last >> 40))
        refuse("mac.last", "the range from " + mac_string(p.mac_first) + " to " + mac_string(p.mac_last) +
                               " crosses multicast addresses");
    const std::uint64_t count = p.mac_last - p.mac_first + 1;
    if (count % static_cast<std::uint64_t>(p.per_card) != 0)
        refuse("mac.per_card", "the range of " + std::to_string(count) + " addresses is not a multiple of " +
                                   std::to_string(p.per_card));
    std::uint64_t limit = 1;
    for (int i = 0; i < p.serial_digits; ++i)
        limit *= 10;
    if (p.serial_first + p.blocks() - 1 >= limit)
        refuse("serial.digits", std::to_string(p.serial_digits) + " digits cannot number " +
                                    std::to_string(p.blocks()) + " cards from " + std::to_string(p.serial_first));
    return p;
}

pool_spec load_pool(const std::string& path) {
    const auto bytes = read_file(path);
    if (!bytes)
        throw ctl_error(ctl_status::usage, "cannot read pool file " + path);
    try {
        return parse_pool(std::string(bytes->begin(), bytes->end()));
    } catch (const ctl_error& e) {
        throw ctl_error(e.status(), path + ": " + e.what());
    }
}
