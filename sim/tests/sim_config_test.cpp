#include "sim_config.h"

#include <gtest/gtest.h>

#include "sim_error.h"

namespace zsim {
namespace {

TEST(SimConfig, BuiltInControllers) {
    const sim_config cfg = default_config();
    ASSERT_EQ(cfg.cards.size(), 3u);
    struct expect {
        u16 device;
        layout_kind layout;
        std::size_t functions;
        std::size_t ifaces;
    } const want[] = {
        {0x8308, layout_kind::standard, 1, 4},
        {0x8318, layout_kind::standard, 2, 2},
        {0x8208, layout_kind::kv3, 1, 1},
    };
    int up = 0, down = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        const card_cfg& card = cfg.cards[c];
        EXPECT_EQ(card.device, want[c].device);
        EXPECT_EQ(card.layout, want[c].layout);
        EXPECT_EQ(card.preload, flash_preload::factory);
        ASSERT_EQ(card.functions.size(), want[c].functions);
        std::size_t ifaces = 0;
        for (const auto& fn : card.functions) {
            EXPECT_EQ(fn.vendor, ZELNIC_VENDOR);
            EXPECT_EQ(fn.device, card.device);
            for (const auto& ifc : fn.ifaces) {
                ++ifaces;
                (ifc.carrier ? up : down)++;
                ASSERT_TRUE(ifc.address.has_value());
                // Unicast (bit 0 clear) and locally administered (bit 1 set).
                EXPECT_EQ((*ifc.address)[0] & 0x03, 0x02) << ifc.name;
            }
        }
        EXPECT_EQ(ifaces, want[c].ifaces);
        EXPECT_NE(card.fw_version, 0u);
    }
    EXPECT_GT(up, 0);
    EXPECT_GT(down, 0);
}

TEST(SimConfig, FormattedConfigParsesBackToTheSame) {
    const sim_config cfgs[] = {
        default_config(),
        parse_config("order reverse\ndriver absent\nstray junk\nstray d dir\n"
                     "card 0001:0a:00.0 device=0x8318 layout=kv3 flash=file:/tmp/x.bin "
                     "version=bad-magic sn=\n"
                     "function 0001:0a:00.0 vendor=0x1234 net=no\n"
                     "function 0001:0a:00.1 device=0x8309\n"
                     "iface e0 port=unreadable carrier=0 address=none no-open write-eio "
                     "lose-user-writes=2 short-write=7 reply-extra=3 short-header=5 "
                     "data-short-by=9 write-delay-ms=40\n"),
    };
    for (const auto& cfg : cfgs) {
        const std::string text = format_config(cfg);
        EXPECT_EQ(parse_config(text), cfg) << text;
    }
}

TEST(SimConfig, DefaultsFollowTheCard) {
    const sim_config cfg = parse_config(
        "card 0000:07:00.0 device=0x8318 mac=02:00:00:00:00:fe fw=1.2.3.4 pxe=5.6.7\n"
        "iface a\n"
        "iface b carrier=0\n"
        "fault b short-write=3\n");
    const card_cfg& card = cfg.cards.at(0);
    EXPECT_EQ(card.fw_version, 0x01020304u);
    EXPECT_EQ(card.pxe_version, 0x00070605u);  // least significant part first
    ASSERT_EQ(card.functions.size(), 1u);
    EXPECT_EQ(card.functions[0].addr, "0000:07:00.0");
    EXPECT_EQ(card.functions[0].device, 0x8318);
    const auto& ifs = card.functions[0].ifaces;
    ASSERT_EQ(ifs.size(), 2u);
    EXPECT_EQ(ifs[0].port, 0);
    EXPECT_EQ(ifs[1].port, 1);
    EXPECT_TRUE(ifs[0].carrier);
    EXPECT_FALSE(ifs[1].carrier);
    EXPECT_EQ(format_mac(*ifs[0].address), "02:00:00:00:00:fe");
    EXPECT_EQ(format_mac(*ifs[1].address), "02:00:00:00:00:ff");
    EXPECT_EQ(ifs[1].faults.short_write, 3);
    EXPECT_EQ(mac_plus({0x02, 0, 0, 0, 0xff, 0xff}, 2), (mac_addr{0x02, 0, 0, 1, 0, 1}));
}

TEST(SimConfig, MalformedLinesNameTheirLine) {
    struct case_ {
        const char* text;
        const char* message;
    } const cases[] = {
        {"iface eth0\n", "cfg:1: iface before the first card line"},
        {"card 0000:03:00\n", "cfg:1: PCI address must look like"},
        {"card 0000:03:00.0 device=0x10000\n", "cfg:1: device: not a number"},
        {"card 0000:03:00.0\ncard 0000:03:00.0\n", "cfg:2: card 0000:03:00.0 declared twice"},
        {"card 0000:03:00.0 mac=02:00:00:00:00\n", "cfg:1: mac: not a MAC address"},
        {"card 0000:03:00.0 fw=1.2.3\n", "cfg:1: fw: needs 4"},
        {"card 0000:03:00.0 pxe=1.2.300\n", "cfg:1: pxe: not a number"},
        {"card 0000:03:00.0 flash=full\n", "cfg:1: flash must be"},
        {"card 0000:03:00.0 colour=red\n", "cfg:1: card: unknown setting 'colour'"},
        {"card 0000:03:00.0\niface e0\niface e0\n", "cfg:3: interface e0 declared twice"},
        {"card 0000:03:00.0\niface e0 carrier=up\n", "cfg:2: carrier must be"},
        {"card 0000:03:00.0\niface e0 short-header=20\n", "cfg:2: short-header: not a number"},
        {"card 0000:03:00.0\niface e0 no-open=1\n", "cfg:2: no-open takes no value"},
        {"card 0000:03:00.0\niface a/b\n", "cfg:2: interface name"},
        {"card 0000:03:00.0\nfunction 0000:03:00.0 net=no\niface e0\n", "cfg:3: iface under"},
        {"card 0000:03:00.0\nfault e9 no-open\n", "cfg:2: fault for unknown interface"},
        {"card 0000:03:00.0\nfunction 0000:03:00.0\nstray 0000:03:00.0\n", "clashes"},
        {"order random\n", "cfg:1: order must be"},
        {"\n# only a comment\nwidget\n", "cfg:3: unknown line 'widget'"},
    };
    for (const auto& c : cases) {
        try {
            parse_config(c.text, "cfg");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const sim_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << "got: " << e.what() << "\nwanted: " << c.message;
        }
    }
}

}  // namespace
}  // namespace zsim
