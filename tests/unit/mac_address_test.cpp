#include "ucfg/mac_address.h"

#include <array>

#include "test_support.h"

namespace {

using namespace test_support;
using mac = std::array<u8, 6>;

void put_mac(ucfg_mac_sn& r, int port, const mac& m) { std::memcpy(r.macaddr[port], m.data(), m.size()); }

// A reset record with a zero magic, so that a test sees whether a setter
// writes it, and a mark in a slot byte no setter may touch.
ucfg_mac_sn blank_record() {
    ucfg_mac_sn r = reset_record(0);
    r.macaddr[0][6] = 0x5a;
    return r;
}

TEST(StrToMac, AcceptedAndRejectedForms) {
    const mac want{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, untouched{9, 9, 9, 9, 9, 9};
    const char* bad_address = "mac-addr should not be zero/broadcase/group\n";
    const struct { const char* text; int result; mac out; const char* message; } cases[] = {
        {"00:11:22:33:44:55", 0, want, ""}, {"00-11-22-33-44-55", 0, want, ""}, {"00-11:22-33:44-55", 0, want, ""},
        {"001122334455", 0, want, ""},      {"0A:bC:de:F0:12:34", 0, {0x0a, 0xbc, 0xde, 0xf0, 0x12, 0x34}, ""},
        {"0:11:22:33:44:55", -1, untouched, ""},   {"00:11:22:33:44:5", -1, untouched, ""},
        {"00112233445", -1, untouched, ""},        {"00:11:22:33:44:5g", -1, untouched, ""},
        {"00.11.22.33.44.55", -1, untouched, ""},  {"0011223344556", -1, untouched, ""},
        {"00:11:22:33:44:55:", -1, untouched, ""}, {"00:11.22:33:44:55", -1, untouched, ""}, {"", -1, untouched, ""},
        {"01:00:00:00:00:00", -1, untouched, bad_address}, {"00:00:00:00:00:00", -1, untouched, bad_address},
        {"ff:ff:ff:ff:ff:ff", -1, untouched, bad_address}, {"FFFFFFFFFFFF", -1, untouched, bad_address},
    };
    for (const auto& c : cases) {
        mac out = untouched;
        const outcome o = run([&] { return str_2_mac(c.text, out.data()); });
        EXPECT_EQ(std::tuple(o.result, o.output, out), std::tuple(c.result, c.message, c.out)) << c.text;
    }
}

TEST(MacIncrement, CarriesAndWraps) {
    const std::pair<mac, mac> cases[] = {
        {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 1}},        {{2, 0, 0, 0, 0, 0xff}, {2, 0, 0, 0, 1, 0}},
        {{2, 0xff, 0xff, 0xff, 0xff, 0xff}, {3, 0, 0, 0, 0, 0}},
        {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, {0, 0, 0, 0, 0, 0}},
    };
    for (auto [m, want] : cases) {
        mac_be64enc1(m.data());
        EXPECT_EQ(m, want);
    }
}

TEST(MacBatchSet, WritesTheFirstNSlots) {
    const mac m02ff{2, 0xff, 0xff, 0xff, 0xff, 0xff};
    const struct { const char* text; int ports, result; std::vector<mac> slots; std::string out; } cases[] = {
        {"02:00:00:00:00:fe", 4, 0,
         {{2, 0, 0, 0, 0, 0xfe}, {2, 0, 0, 0, 0, 0xff}, {2, 0, 0, 0, 1, 0}, {2, 0, 0, 0, 1, 1}},
         "port0: 02:00:00:00:00:fe\nport1: 02:00:00:00:00:ff\nport2: 02:00:00:00:01:00\nport3: 02:00:00:00:01:01\n"},
        // The group bit of a derived address goes unchecked.
        {"02ffffffffff", 2, 0, {m02ff, {3, 0, 0, 0, 0, 0}}, "port0: 02:ff:ff:ff:ff:ff\nport1: 03:00:00:00:00:00\n"},
        {"02ffffffffff", 1, 0, {m02ff}, "port0: 02:ff:ff:ff:ff:ff\n"},
        {"02ffffffffff", 0, 0, {}, ""},
        {"02ffffffffff", 9, -1, {}, ""},  // port counts beyond 1..8 write nothing
        {"02ffffffffff", -1, -1, {}, ""},
    };
    for (const auto& c : cases) {
        ucfg_mac_sn r = blank_record(), want = blank_record();
        for (std::size_t i = 0; i < c.slots.size(); ++i)
            put_mac(want, static_cast<int>(i), c.slots[i]);
        if (c.result == 0)
            want.magic = MAC_SN_MAGIC;
        ucfg_mac_sn_dirty = 0;
        const outcome o = run([&] { return mac_batch_set(&r, c.text, c.ports); });
        EXPECT_EQ(std::tuple(o.result, o.output, ucfg_mac_sn_dirty), std::tuple(c.result, c.out, int(!c.slots.empty())))
            << c.ports;
        EXPECT_TRUE(same_record(r, want)) << c.ports;
    }

    ucfg_mac_sn r = blank_record();
    const outcome o = run([&] { mac_batch_set(&r, "01:00:00:00:00:00", 2); });
    EXPECT_EQ(std::pair(o.ended, o.status), std::pair(true, -1));
    EXPECT_EQ(o.output, "mac-addr should not be zero/broadcase/group\ninvalid macaddr:[01:00:00:00:00:00]\n");
    EXPECT_TRUE(same_record(r, blank_record()));
}

}  // namespace
