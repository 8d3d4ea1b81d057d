#include "sim_config.h"

#include <gtest/gtest.h>

#include "sim_error.h"

namespace zsim {
namespace {

TEST(SimConfig, DefaultsFollowTheCard) {
    const char terse[] =
        "card 0000:05:00.0 device=0x8208\ncard 0000:07:00.0 device=0x8318 mac=02:00:00:00:ff:fe\n"
        "iface a\niface b carrier=0\niface c\nfault b short-write=3\n";
    const char spelt_out[] =  // the same with the defaults written
        "card 0000:05:00.0 device=0x8208 layout=kv3\n"
        "card 0000:07:00.0 device=0x8318 layout=default mac=02:00:00:00:ff:fe\n"
        "function 0000:07:00.0 vendor=0x8848 device=0x8318 net=yes\n"
        "iface a port=0 carrier=1 address=02:00:00:00:ff:fe\n"
        "iface b port=1 carrier=0 address=02:00:00:00:ff:ff short-write=3\n"
        "iface c port=2 address=02:00:00:01:00:00\n";
    EXPECT_EQ(format_config(parse_config(terse)), format_config(parse_config(spelt_out)));
}

TEST(SimConfig, MalformedLinesNameTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"iface eth0\n", "cfg:1: iface before the first card line"},
        {"card 0000:03:00.0\ncard 0000:03:00.0\n", "cfg:2: card 0000:03:00.0 declared twice"},
        {"card 0000:03:00.0\niface e0 short-header=20\n", "cfg:2: short-header: not a number"},
        {"card 0000:03:00.0\nfault e9 no-open\n", "cfg:2: fault for unknown interface"},
        {"\n# only a comment\nwidget\n", "cfg:3: unknown line 'widget'"},
    };
    for (const auto& [text, message] : cases) {
        try {
            parse_config(text, "cfg");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const sim_error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos)
                << "got: " << e.what() << "\nwanted: " << message;
        }
    }
}

}  // namespace
}  // namespace zsim
