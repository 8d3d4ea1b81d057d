#include "ucfg/mac_address.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "exit_request.h"

namespace {

using mac = std::array<u8, 6>;

ucfg_mac_sn reset_record() {
    ucfg_mac_sn r;
    std::memset(&r, 0xff, sizeof(r));
    ucfg_mac_sn_reset(&r);
    r.magic = 0;  // so that a test sees whether the setter writes it
    return r;
}

mac slot(const ucfg_mac_sn& r, int port) {
    mac m;
    std::memcpy(m.data(), r.macaddr[port], 6);
    return m;
}

TEST(StrDunpWithStrip, DropsOnlyOneLeadingSpace) {
    EXPECT_EQ(str_dunp_with_strip(" 22 0 12 12"), "22 0 12 12");
    EXPECT_EQ(str_dunp_with_strip("  21 0"), " 21 0");
    EXPECT_EQ(str_dunp_with_strip("21  0 "), "21  0 ");
}

TEST(StrToMac, AcceptedForms) {
    const mac want{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    for (const char* text : {"00:11:22:33:44:55", "00-11-22-33-44-55", "00-11:22-33:44-55",
                             "001122334455"}) {
        mac got{};
        EXPECT_EQ(str_2_mac(text, got.data()), 0) << text;
        EXPECT_EQ(got, want) << text;
    }
    mac got{};
    ASSERT_EQ(str_2_mac("0A:bC:de:F0:12:34", got.data()), 0);
    EXPECT_EQ(got, (mac{0x0a, 0xbc, 0xde, 0xf0, 0x12, 0x34}));
}

TEST(StrToMac, RejectedFormsLeaveOutputAlone) {
    const char* bad_address = "mac-addr should not be zero/broadcase/group\n";
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"0:11:22:33:44:55", ""},     {"00:11:22:33:44:5", ""},  {"00112233445", ""},
        {"00:11:22:33:44:5g", ""},    {"00.11.22.33.44.55", ""}, {"0011223344556", ""},
        {"00:11:22:33:44:55:", ""},   {"00:11.22:33:44:55", ""}, {"", ""},
        {"01:00:00:00:00:00", bad_address}, {"00:00:00:00:00:00", bad_address},
        {"ff:ff:ff:ff:ff:ff", bad_address}, {"FFFFFFFFFFFF", bad_address},
    };
    for (const auto& c : cases) {
        mac out{9, 9, 9, 9, 9, 9};
        testing::internal::CaptureStdout();
        EXPECT_EQ(str_2_mac(c.text, out.data()), -1) << c.text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message) << c.text;
        EXPECT_EQ(out, (mac{9, 9, 9, 9, 9, 9})) << c.text;
    }
}

TEST(MacIncrement, CarriesAndWraps) {
    const struct {
        mac in, out;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 1}},
        {{2, 0, 0, 0, 0, 0xff}, {2, 0, 0, 0, 1, 0}},
        {{2, 0xff, 0xff, 0xff, 0xff, 0xff}, {3, 0, 0, 0, 0, 0}},
        {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        mac m = c.in;
        mac_be64enc1(m.data());
        EXPECT_EQ(m, c.out);
    }
}

TEST(MacBatchSet, WorkedExampleFourPorts) {
    ucfg_mac_sn r = reset_record();
    r.macaddr[0][6] = 0x5a;
    ucfg_mac_sn_dirty = 0;
    testing::internal::CaptureStdout();
    ASSERT_EQ(mac_batch_set(&r, "02:00:00:00:00:fe", 4), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "port0: 02:00:00:00:00:fe\nport1: 02:00:00:00:00:ff\n"
              "port2: 02:00:00:00:01:00\nport3: 02:00:00:00:01:01\n");
    EXPECT_EQ(slot(r, 0), (mac{2, 0, 0, 0, 0, 0xfe}));
    EXPECT_EQ(slot(r, 3), (mac{2, 0, 0, 0, 1, 1}));
    EXPECT_EQ(slot(r, 4), (mac{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
    EXPECT_EQ(r.macaddr[0][6], 0x5a);
    EXPECT_EQ(r.magic, MAC_SN_MAGIC);
    EXPECT_EQ(ucfg_mac_sn_dirty, 1);
}

TEST(MacBatchSet, BadTextEndsProcess) {
    ucfg_mac_sn r = reset_record();
    testing::internal::CaptureStdout();
    try {
        mac_batch_set(&r, "01:00:00:00:00:00", 2);
        ADD_FAILURE() << "no exit";
    } catch (const exit_request& e) {
        EXPECT_EQ(e.status, -1);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "mac-addr should not be zero/broadcase/group\ninvalid macaddr:[01:00:00:00:00:00]\n");
    EXPECT_EQ(r.magic, 0);
}

TEST(MacBatchSet, OnlyTheFirstNSlots) {
    const char* line0 = "port0: 02:ff:ff:ff:ff:ff\n";
    const struct {
        int ports;
        int dirty;
        std::string output;
    } cases[] = {{0, 0, ""}, {1, 1, line0}, {2, 1, line0 + std::string("port1: 03:00:00:00:00:00\n")}};
    for (const auto& c : cases) {
        ucfg_mac_sn r = reset_record();
        ucfg_mac_sn_dirty = 0;
        testing::internal::CaptureStdout();
        ASSERT_EQ(mac_batch_set(&r, "02ffffffffff", c.ports), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
        EXPECT_EQ(slot(r, c.ports), (mac{0xff, 0xff, 0xff, 0xff, 0xff, 0xff})) << c.ports;
        EXPECT_EQ(r.magic, MAC_SN_MAGIC);
        EXPECT_EQ(ucfg_mac_sn_dirty, c.dirty) << c.ports;
    }
}

TEST(MacBatchSet, PortCountOutOfRangeWritesNothing) {
    for (int ports : {-1, 9, 1000}) {
        ucfg_mac_sn r = reset_record();
        const ucfg_mac_sn before = r;
        EXPECT_EQ(mac_batch_set(&r, "02:00:00:00:00:01", ports), -1) << ports;
        EXPECT_EQ(std::memcmp(&r, &before, sizeof(r)), 0) << ports;
    }
}

TEST(MacSet, StoresOwnPortAndPrints) {
    ucfg_mac_sn r = reset_record();
    ucfg_mac_sn_dirty = 0;
    const mac m{0x00, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f};
    testing::internal::CaptureStdout();
    ASSERT_EQ(mac_set(&r, 5, m.data()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "port5: 00:1b:2c:3d:4e:5f\n");
    EXPECT_EQ(slot(r, 5), m);
    EXPECT_EQ(slot(r, 4), (mac{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
    EXPECT_EQ(r.magic, MAC_SN_MAGIC);
    EXPECT_EQ(ucfg_mac_sn_dirty, 1);
    EXPECT_EQ(mac_set(&r, 8, m.data()), -1);
    EXPECT_EQ(mac_set(&r, -1, m.data()), -1);
}

}  // namespace
