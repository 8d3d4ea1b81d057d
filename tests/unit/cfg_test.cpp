#include "cfg.h"

#include "test_support.h"

namespace {

// A reset record by byte range; -1: what the buffer held before.
constexpr struct { const char* name; int offset, size, byte; } RESET_LAYOUT[] = {
    {"macaddr", 0, 64, -1},     {"sn", 64, 32, 0},        {"si_valid_flags", 100, 4, 0}, {"si", 104, 32, 0xff},
    {"fun_valid", 136, 8, 0},   {"fun_flags", 144, 8, 0}, {"pn", 152, 32, 0},            {"pcfg", 184, 4, 0},
    {"led_bitmap", 188, 16, 0}, {"pName", 204, 32, 0},    {"lldp", 236, 16, 0xff},       {"wol_info", 252, 64, 0xff},
    {"pack_id", 316, 4, 0xff},  {"force_status", 320, 32, 0xff},                         {"resv", 352, 128, 0xff},
};

TEST(UcfgMacSnReset, WritesTheDefaultsKeepsTheMacSlotsAndIsIdempotent) {
    for (const u8 before : {u8{0xff}, u8{0x5a}, u8{0x00}}) {
        ucfg_mac_sn r;
        std::memset(&r, before, sizeof(r));
        ucfg_mac_sn_reset(&r);
        const test_support::bytes b = test_support::bytes_of(r);
        EXPECT_EQ(test_support::bytes(b.begin() + 96, b.begin() + 100), (test_support::bytes{0x21, 0x43, 0x65, 0x87}));
        for (const auto& f : RESET_LAYOUT)
            for (int i = f.offset; i < f.offset + f.size; ++i)
                ASSERT_EQ(b[i], f.byte < 0 ? before : f.byte) << f.name << " byte " << i - f.offset << " from "
                                                              << int(before);
        ucfg_mac_sn_reset(&r);
        EXPECT_EQ(test_support::bytes_of(r), b) << "second reset";
    }
}

}  // namespace
