// Pool files: a sound pool numbers its cards as documented; every kind of bad
// pool is refused with status 2 and a message naming the field at fault.
#include <gtest/gtest.h>

#include "ctl_error.h"
#include "pool.h"

namespace {

const std::string SERIAL = R"("prefix": "ZT2649", "first": 1, "digits": 5)";
const std::string MAC = R"("first": "02:5a:e1:10:00:00", "last": "02:5a:e1:10:ff:ff", "per_card": 8)";

// A pool file with one part replaced: `serial` and `mac` are the objects' bodies.
std::string pool_text(const std::string& serial = SERIAL, const std::string& mac = MAC,
                      const std::string& name = R"("line-a")") {
    return R"({"name": )" + name + R"(, "serial": {)" + serial + R"(}, "mac": {)" + mac + "}}";
}

TEST(ZelvoctlPool, NumbersCardsFromTheFirstSerialAndBlock) {
    const pool_spec p = parse_pool(pool_text());
    EXPECT_EQ(p.name, "line-a");
    EXPECT_EQ(p.blocks(), 8192u);
    EXPECT_EQ(p.serial(0), "ZT264900001");
    EXPECT_EQ(p.serial(8191), "ZT264908192");
    EXPECT_EQ(mac_string(p.block_first(0)), "02:5a:e1:10:00:00");
    EXPECT_EQ(mac_string(p.block_first(3)), "02:5a:e1:10:00:18");
    EXPECT_EQ(mac_string(p.block_first(8191)), "02:5a:e1:10:ff:f8");
    EXPECT_EQ(mac_run(0x025ae11000feULL, 3),
              (std::vector<std::string>{"02:5a:e1:10:00:fe", "02:5a:e1:10:00:ff", "02:5a:e1:10:01:00"}));
    // The longest serial that fits: 32 characters.
    const pool_spec longest = parse_pool(pool_text(R"("prefix": "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "first": 0, "digits": 6)"));
    EXPECT_EQ(longest.serial(7).size(), 32u);
}

TEST(ZelvoctlPool, BadPoolsAreRefusedNamingTheField) {
    const struct {
        std::string text, field;
    } cases[] = {
        {"{\"name\": ", "(file)"},
        {"[1, 2]", "(top level)"},
        {R"({"serial": {}, "mac": {}})", "name"},
        {pool_text() .substr(0, pool_text().size() - 1) + R"(, "colour": "red"})", "colour"},
        {pool_text(R"("prefix": "ZT", "first": 1, "digits": 5, "step": 2)"), "serial.step"},
        {pool_text(R"("prefix": "ZT", "first": -1, "digits": 5)"), "serial.first"},
        {pool_text(R"("prefix": "ZT", "first": "1", "digits": 5)"), "serial.first"},
        {pool_text(R"("prefix": "ZT", "first": 1)"), "serial.digits"},
        {pool_text(R"("prefix": "ZT", "first": 1, "digits": 0)"), "serial.digits"},
        {pool_text(R"("prefix": "Z T", "first": 1, "digits": 5)"), "serial.prefix"},
        {pool_text(R"("prefix": 7, "first": 1, "digits": 5)"), "serial.prefix"},
        // 27 + 6 characters: one more than the record's serial field holds.
        {pool_text(R"("prefix": "ABCDEFGHIJKLMNOPQRSTUVWXYZA", "first": 0, "digits": 6)"), "serial.prefix"},
        // 8192 cards numbered from 1 need more than 3 digits.
        {pool_text(R"("prefix": "ZT", "first": 1, "digits": 3)"), "serial.digits"},
        {pool_text(R"("prefix": "ZT", "first": 99990, "digits": 5)"), "serial.digits"},
        {pool_text(SERIAL, R"("first": "02:5a:e1:10:00", "last": "02:5a:e1:10:ff:ff", "per_card": 8)"), "mac.first"},
        {pool_text(SERIAL, R"("first": "02:5a:e1:10:00:00", "last": "02-5a-e1-10-ff-ff", "per_card": 8)"), "mac.last"},
        {pool_text(SERIAL, R"("first": "02:5a:e1:10:00:00", "last": "02:5a:e1:10:ff:ff")"), "mac.per_card"},
        {pool_text(SERIAL, R"("first": "02:5a:e1:10:00:00", "last": "02:5a:e1:10:ff:ff", "per_card": 0)"), "mac.per_card"},
        // Empty: last before first.
        {pool_text(SERIAL, R"("first": "02:5a:e1:10:00:08", "last": "02:5a:e1:10:00:07", "per_card": 1)"), "mac.last"},
        // 10 addresses, 4 per card.
        {pool_text(SERIAL, R"("first": "02:5a:e1:10:00:00", "last": "02:5a:e1:10:00:09", "per_card": 4)"), "mac.per_card"},
        {pool_text(SERIAL, R"("first": "01:5a:e1:10:00:00", "last": "01:5a:e1:10:ff:ff", "per_card": 8)"), "mac.first"},
        {pool_text(SERIAL, R"("first": "00:00:00:00:00:00", "last": "00:00:00:00:00:ff", "per_card": 8)"), "mac.first"},
        {pool_text(SERIAL, R"("first": "02:5a:e1:10:00:00", "last": "ff:ff:ff:ff:ff:ff", "per_card": 8)"), "mac.last"},
        // Unicast at both ends, but 03:... lies between them.
        {pool_text(SERIAL, R"("first": "02:ff:ff:ff:ff:f8", "last": "04:00:00:00:00:07", "per_card": 8)"), "mac.last"},
        {pool_text(SERIAL, MAC, R"("")"), "name"},
        {pool_text(SERIAL, MAC, "5"), "name"},
    };
    for (const auto& c : cases) {
        try {
            parse_pool(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ctl_error& e) {
            EXPECT_EQ(e.status(), ctl_status::usage) << c.text;
            EXPECT_NE(std::string(e.what()).find("pool field " + c.field + ":"), std::string::npos)
                << c.text << "\n  said: " << e.what();
        }
    }
}

}  // namespace
