#include "ucfg/mac_address.h"

#include <array>

#include "test_support.h"

namespace {

using namespace test_support;
using mac = std::array<u8, 6>;

TEST(StrToMac, AcceptedAndRejectedForms) {
    const mac want{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, untouched{9, 9, 9, 9, 9, 9};
    const char* bad_address = "mac-addr should not be zero/broadcase/group\n";
    const struct { const char* text; int result; mac out; const char* message; } cases[] = {
        {"00:11:22:33:44:55", 0, want, ""},        {"00-11:22-33:44-55", 0, want, ""},
        {"0:11:22:33:44:55", -1, untouched, ""},   {"00:11:22:33:44:5g", -1, untouched, ""},
        {"00.11.22.33.44.55", -1, untouched, ""},  {"0011223344556", -1, untouched, ""},
        {"00:11:22:33:44:55:", -1, untouched, ""}, {"", -1, untouched, ""},
        {"00:00:00:00:00:00", -1, untouched, bad_address}, {"ff:ff:ff:ff:ff:ff", -1, untouched, bad_address},
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

}  // namespace
