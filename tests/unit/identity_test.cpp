#include "ucfg/identity.h"

#include "record/run_context.h"
#include "test_support.h"

namespace {

using namespace test_support;
using text_field = u8 (ucfg_mac_sn::*)[UCFG_TEXT_LEN];

int set_text(ucfg_mac_sn* r, text_field field, const char* text) {
    if (field == &ucfg_mac_sn::pName)
        return pName_set(r, text);
    return sn_pn_set(r, text, field == &ucfg_mac_sn::sn ? 1 : 0);
}

TEST(IdentityText, StoresZeroPaddedOrCut) {
    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd", thirty_two = forty.substr(0, 32);
    const struct { text_field field; std::string text, stored /* all 32 bytes */, output; } cases[] = {
        {&ucfg_mac_sn::sn, forty, thirty_two, "Warin: sn > 32. cut to 32bytes\n"},
        {&ucfg_mac_sn::pn, forty, thirty_two, "Warin: pn > 32. cut to 32bytes\n"},
        {&ucfg_mac_sn::pName, forty, thirty_two, "Warin: product name > 32. cut to 32bytes\n"},
    };
    for (const auto& c : cases) {
        ucfg_mac_sn r = reset_record();
        // Old bytes in every text field, and a magic no setter here may touch.
        for (text_field f : {&ucfg_mac_sn::sn, &ucfg_mac_sn::pn, &ucfg_mac_sn::pName})
            std::memset(r.*f, 'x', UCFG_TEXT_LEN);
        r.magic = 0x1234;
        ucfg_mac_sn want = r;
        std::memcpy(want.*c.field, c.stored.data(), 32);
        const run_context ctx;
        const outcome o = run([&] { return set_text(&r, c.field, c.text.c_str()); });
        EXPECT_EQ(std::tuple(o.result, o.output, int(ctx.record_changed())), std::tuple(0, c.output, 1)) << c.text;
        EXPECT_TRUE(same_record(r, want)) << c.text;
    }
}

TEST(LaneMiscSet, FlagsPerArgument) {
    const struct { int an, lt, fec; u8 valid_before, flags_before, valid, flags; int dirty; } cases[] = {
        {5, -1, -1, 0, 0, LANE_AN_EN, LANE_AN_EN, 1},
        {-1, -1, 0, 0, LANE_FEC_EN, LANE_FEC_EN, 0, 1},
        {-1, 1, -1, LANE_AN_EN, LANE_AN_EN, LANE_AN_EN | LANE_LINK_TRAING, LANE_AN_EN | LANE_LINK_TRAING, 1},
        {0, 0, 1, 0, LANE_AN_EN | LANE_LINK_TRAING, 0x07, LANE_FEC_EN, 1},
        {-1, -1, -1, LANE_FEC_EN, 0x05, LANE_FEC_EN, 0x05, 0},
    };
    for (const auto& c : cases) {
        ucfg_mac_sn r = reset_record(0);
        r.fun_valid[3].v = c.valid_before, r.fun_flags[3].v = c.flags_before;
        ucfg_mac_sn want = r;
        want.fun_valid[3].v = c.valid, want.fun_flags[3].v = c.flags, want.magic = MAC_SN_MAGIC;
        const run_context ctx;
        const auto what = testing::PrintToString(std::tuple(c.an, c.lt, c.fec));
        EXPECT_EQ(lane_misc_set(&r, 3, c.an, c.lt, c.fec), 0) << what;
        EXPECT_TRUE(same_record(r, want)) << what;
        EXPECT_EQ(int(ctx.record_changed()), c.dirty) << what;
    }
}

}  // namespace
