// Pool files: a sound pool numbers its cards from its first serial and
// block; each kind of bad pool is refused naming the field at fault.
#include <gtest/gtest.h>

#include "ctl_refusal.h"
#include "pool.h"

namespace {

const std::string SERIAL = R"("prefix": "ZT2649", "first": 1, "digits": 5)";

// A pool file whose `serial` and `mac` objects have the bodies given.
std::string pool_text(const std::string& serial, const std::string& mac = R"("first": "02:5a:e1:10:00:00", "last": "02:5a:e1:10:ff:ff", "per_card": 8)",
                      const std::string& name = R"("line-a")") {
    return R"({"name": )" + name + R"(, "serial": {)" + serial + R"(}, "mac": {)" + mac + "}}";
}

std::string macs(const char* first, const char* last, int per_card = 8) {
    return R"("first": ")" + std::string(first) + R"(", "last": ")" + last + R"(", "per_card": )" + std::to_string(per_card);
}

TEST(ZelvoctlPool, NumbersCardsFromTheFirstSerialAndBlock) {
    EXPECT_EQ(parse_pool(pool_text(SERIAL)).serial(8191), "ZT264908192");
    // The longest serial that fits: 32 characters.
    EXPECT_EQ(parse_pool(pool_text(R"("prefix": "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "first": 0, "digits": 6)")).serial(7).size(), 32u);
}

TEST(ZelvoctlPool, BadPoolsAreRefusedNamingTheField) {
    const struct {
        std::string text, field;
    } cases[] = {
        {"{\"name\": ", "(file)"},
        {"[1, 2]", "(top level)"},
        {R"({"serial": {}, "mac": {}})", "name"},
        {pool_text(R"("prefix": "ZT", "first": 1, "digits": 5, "step": 2)"), "serial.step"},
        {pool_text(R"("prefix": "ZT", "first": "1", "digits": 5)"), "serial.first"},
        {pool_text(R"("prefix": "ZT", "first": 1, "digits": 0)"), "serial.digits"},
        {pool_text(R"("prefix": "Z T", "first": 1, "digits": 5)"), "serial.prefix"},
        {pool_text(SERIAL, macs("02:5a:e1:10:00:00", "02:5a:e1:10:ff:ff"), "5"), "name"},
        {pool_text(SERIAL, macs("02:5a:e1:10:00:00", "02:5a:e1:10:ff:ff"), R"("")"), "name"},
        // 27 + 6 characters: one more than the record's serial field holds.
        {pool_text(R"("prefix": "ABCDEFGHIJKLMNOPQRSTUVWXYZA", "first": 0, "digits": 6)"), "serial.prefix"},
        // 8192 cards numbered from 1 need more than 3 digits.
        {pool_text(R"("prefix": "ZT", "first": 1, "digits": 3)"), "serial.digits"},
        {pool_text(SERIAL, macs("02:5a:e1:10:00", "02:5a:e1:10:ff:ff")), "mac.first"},
        {pool_text(SERIAL, macs("00:00:00:00:00:00", "00:00:00:00:00:ff")), "mac.first"},
        {pool_text(SERIAL, macs("02:5a:e1:10:00:00", "ff:ff:ff:ff:ff:ff")), "mac.last"},
        {pool_text(SERIAL, macs("02:5a:e1:10:00:08", "02:5a:e1:10:00:07", 1)), "mac.last"},
        // Unicast at both ends, but 03:... lies between them.
        {pool_text(SERIAL, macs("02:ff:ff:ff:ff:f8", "04:00:00:00:00:07")), "mac.last"},
        {pool_text(SERIAL, macs("02:5a:e1:10:00:00", "02:5a:e1:10:00:09", 4)), "mac.per_card"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        expect_refused([&] { parse_pool(c.text); }, "pool field " + c.field + ":");
    }
}

}  // namespace
