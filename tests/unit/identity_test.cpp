#include "ucfg/identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include "test_support.h"

namespace {

using namespace test_support;

std::string field_bytes(const u8 (&f)[UCFG_TEXT_LEN]) {
    return std::string(reinterpret_cast<const char*>(f), UCFG_TEXT_LEN);
}

enum class field { sn, pn, pName };

int set_field(ucfg_mac_sn* r, field which, const char* text) {
    if (which == field::pName)
        return pName_set(r, text);
    return sn_pn_set(r, text, which == field::sn ? 1 : 0);
}

const u8 (&field_of(const ucfg_mac_sn& r, field which))[UCFG_TEXT_LEN] {
    return which == field::sn ? r.sn : which == field::pn ? r.pn : r.pName;
}

TEST(IdentityText, StoresZeroPaddedOrCut) {
    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
    const std::string thirty_two = forty.substr(0, 32);
    const struct {
        field which;
        std::string text;
        std::string stored;  // all 32 bytes
        std::string output;
    } cases[] = {
        {field::sn, "ABC12", "ABC12" + std::string(27, '\0'), ""},
        {field::pn, "ABC12", "ABC12" + std::string(27, '\0'), ""},
        {field::pName, "ABC12", "ABC12" + std::string(27, '\0'), ""},
        {field::sn, "", std::string(32, '\0'), ""},
        {field::sn, thirty_two, thirty_two, ""},
        {field::sn, forty, thirty_two, "Warin: sn > 32. cut to 32bytes\n"},
        {field::pn, forty, thirty_two, "Warin: pn > 32. cut to 32bytes\n"},
        {field::pName, forty, thirty_two, "Warin: product name > 32. cut to 32bytes\n"},
    };
    for (const auto& c : cases) {
        ucfg_mac_sn r = reset_record();
        std::memset(r.sn, 'x', 32);  // the field's old bytes must all be replaced
        std::memset(r.pn, 'x', 32);
        std::memset(r.pName, 'x', 32);
        r.magic = 0x1234;
        ucfg_mac_sn_dirty = 0;
        testing::internal::CaptureStdout();
        EXPECT_EQ(set_field(&r, c.which, c.text.c_str()), 0) << c.text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output) << c.text;
        EXPECT_EQ(field_bytes(field_of(r, c.which)), c.stored) << c.text;
        EXPECT_EQ(r.magic, 0x1234) << c.text;
        EXPECT_EQ(ucfg_mac_sn_dirty, 1) << c.text;
    }
}

TEST(IdentityText, NoRecord) {
    for (field which : {field::sn, field::pn, field::pName}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(set_field(nullptr, which, "X"), -5);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "sn load faild!\n");
    }
}

TEST(LaneMiscSet, FlagsPerArgument) {
    const struct {
        int an, lt, fec;
        u8 valid_before, flags_before;
        u8 valid, flags;
        int dirty;
    } cases[] = {
        {5, -1, -1, 0, 0, LANE_AN_EN, LANE_AN_EN, 1},
        {-1, -1, 0, 0, LANE_FEC_EN, LANE_FEC_EN, 0, 1},
        {-1, 1, -1, LANE_AN_EN, LANE_AN_EN, LANE_AN_EN | LANE_LINK_TRAING,
         LANE_AN_EN | LANE_LINK_TRAING, 1},
        {0, 0, 1, 0, LANE_AN_EN | LANE_LINK_TRAING, 0x07, LANE_FEC_EN, 1},
        {-1, -1, -1, LANE_FEC_EN, 0x05, LANE_FEC_EN, 0x05, 0},
    };
    for (const auto& c : cases) {
        ucfg_mac_sn r = reset_record();
        r.magic = 0;
        r.fun_valid[3].v = c.valid_before;
        r.fun_flags[3].v = c.flags_before;
        ucfg_mac_sn_dirty = 0;
        EXPECT_EQ(lane_misc_set(&r, 3, c.an, c.lt, c.fec), 0);
        EXPECT_EQ(r.fun_valid[3].v, c.valid) << c.an << c.lt << c.fec;
        EXPECT_EQ(r.fun_flags[3].v, c.flags) << c.an << c.lt << c.fec;
        EXPECT_EQ(r.fun_valid[2].v | r.fun_flags[2].v | r.fun_valid[4].v, 0);
        EXPECT_EQ(r.magic, MAC_SN_MAGIC);
        EXPECT_EQ(ucfg_mac_sn_dirty, c.dirty);
    }
}

TEST(LaneMiscSet, PortOutOfRangeWritesNothing) {
    for (int port : {-1, 8}) {
        ucfg_mac_sn r = reset_record();
        const ucfg_mac_sn before = r;
        EXPECT_EQ(lane_misc_set(&r, port, 1, 1, 1), -1);
        EXPECT_EQ(std::memcmp(&r, &before, sizeof(r)), 0);
    }
}

}  // namespace
