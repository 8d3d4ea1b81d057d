#include "report/shows.h"

#include "report/ucfg_view.h"
#include "report_flash.h"

namespace {

using namespace test_support;

TEST(Shows, TextLengthRuleAtItsEdges) {
    const struct { const char* name; std::string field /* 32 bytes */, shown; int len; } rows[] = {
        {"0xFF after ABC", "ABC" + std::string(29, '\xff'), "ABC", 3},
        {"first byte 0x80", "\x80" "BC" + std::string(29, 'D'), "", 0},
        // The magic behind the field starts with printable bytes: no read past 32.
        {"32 characters, no terminator", std::string(32, 'Z'), std::string(32, 'Z'), 32},
        {"zero byte inside", std::string("AB\0CD", 5) + std::string(27, '\xff'), "AB", 5},
    };
    for (const auto& c : rows) {
        ucfg_mac_sn r = reset_record();
        for (u8* f : {r.sn, r.pn, r.pName})
            std::memcpy(f, c.field.data(), UCFG_TEXT_LEN);
        EXPECT_EQ(pn_sn_dlen(r.sn, UCFG_TEXT_LEN), c.len) << c.name;
        report_flash k;
        k.parts[PART_MAC_ADDR] = bytes_of(r);
        const std::string out = run([&] { do_show_sn_pn(k, &k.dev, true, true); }).output +
                                run([&] { do_show_pName(k, &k.dev, true); }).output;
        EXPECT_EQ(out, "sn: " + c.shown + "\npn: " + c.shown + "\npName: " + c.shown + "\n") << c.name;
    }
}

TEST(Shows, UnreadableRecordReportsMagicZero) {
    report_flash k;
    k.failing = PART_MAC_ADDR;
    const std::string said = "io eeprom error!invalid ucfg-mac-sn magic:0x0\n";
    const outcome sn = run([&] { return do_show_sn_pn(k, &k.dev, true, false); }), mac = run([&] {
        return do_show_mac(k, &k.dev, true);
    });
    EXPECT_EQ(std::tuple(sn.output, sn.ended, sn.status), std::tuple(said, true, -1));
    EXPECT_EQ(std::tuple(mac.output, mac.ended, mac.result), std::tuple(said, false, -1));  // the run goes on
}

}  // namespace
