#include "devices/device_select.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <iterator>

using namespace std::string_literals;

namespace {

eth_dev rec(const char* name, u16 ddevice, u16 domain, u8 bus, u8 device, u8 fun, int port) {
    eth_dev d;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.vendor = 0x8848, d.ddevice = ddevice, d.port_id = port;
    d.domain = domain, d.bus = bus, d.device = device, d.fun = fun;
    return d;
}

// In table order. Bus 0 lets a bus text of 0x100 show that parsed numbers
// are not narrowed to the field.
device_list registry() {
    return {rec("b0", 0x8308, 0, 0, 0, 0, 0),     rec("eth0", 0x8308, 0, 3, 0, 0, 0),
            rec("eth1", 0x8308, 0, 3, 0, 0, 1),   rec("eth1", 0x8308, 0, 3, 0, 1, 0),
            rec("eth16", 0x8208, 0, 16, 0, 1, 0), rec("d1", 0x8308, 1, 3, 0, 0, 0)};
}

const eth_dev* at(device_list& l, int pos) { return pos < 0 ? nullptr : &*std::next(l.begin(), pos); }

std::string table(const device_list& l) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(print_deivces(l), 0);
    return testing::internal::GetCapturedStdout();
}

TEST(DeviceSelectTest, Table) {
    device_list l;
    EXPECT_EQ(table(l), "======= zelvo net devices =======\n");
    l = {rec("eth0", 0x8308, 0, 3, 0, 0, 0), rec("enp129s0f1", 0x8318, 0x10, 0x81, 0x1f, 1, -1)};
    l.front().cur_mac_address = "aa:bb:cc:dd:ee:00";
    l.front().linkup = 1;
    EXPECT_EQ(table(l),
              "======= zelvo net devices =======\n"
              " idx port  name            device_id  pci-slot   mac-addr           link\n"
              " --  ----  ----            --------   ------     -------            ---\n"
              " 0   port0 eth0            8848:8308 0000:03:00.0 aa:bb:cc:dd:ee:00  up\n"
              " 1   port-1 enp129s0f1      8848:8318 0010:81:1f.1 -                  down\n");
}

TEST(DeviceSelectTest, EmptyRegistryFindsNothing) {
    device_list l;
    std::vector<eth_dev> cards(1, rec("keep", 0, 0, 0, 0, 0, 0));
    testing::internal::CaptureStdout();
    EXPECT_EQ(find_device_by_name(l, "eth0"), nullptr);
    EXPECT_EQ(find_device_by_idx(l, 0), nullptr);
    EXPECT_EQ(find_device_by_pci_slot(l, "junk"), nullptr);
    EXPECT_EQ(find_all_device(l, cards), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_STREQ(cards[0].name, "keep");
}

TEST(DeviceSelectTest, ByNameAndPosition) {
    device_list l = registry();
    const std::pair<const char*, int> by_name[] = {{"eth0", 1}, {"eth1", 2},  {"d1", 5},
                                                   {"ETH0", -1}, {"eth", -1}, {"", -1}};
    for (const auto& [name, pos] : by_name)
        EXPECT_EQ(find_device_by_name(l, name), at(l, pos)) << name;
    for (const auto& [nr, pos] : {std::pair{0, 0}, {5, 5}, {6, -1}, {-1, -1}})
        EXPECT_EQ(find_device_by_idx(l, nr), at(l, pos)) << nr;
}

TEST(DeviceSelectTest, ByPciSlot) {
    device_list l = registry();
    const std::pair<const char*, int> cases[] = {  // -2: none, reported as invalid
        {"03:00.0", 1},      {"0000:03:00.0", 1}, {"0001:03:00.0", 5}, {"03:00.1", 3},
        {"10:00.1", 4},      {"16:00.1", -1},     {"04:00.0", -1},     {"03:00.0 tail", 1},
        {"100:00.0", -1},    {"0:3:0", -2},       {"3.0", -2},         {"", -2},
    };
    for (const auto& [text, pos] : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(find_device_by_pci_slot(l, text), at(l, std::max(pos, -1))) << text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  pos == -2 ? "input format is invalid: "s + text + "\n" : "");
    }
}

TEST(DeviceSelectTest, OneEntryPerCard) {
    const struct {
        device_list devs;
        std::vector<std::string> cards;
    } cases[] = {
        {{rec("f0p0", 0x8318, 0, 3, 0, 0, 0), rec("f0p1", 0x8318, 0, 3, 0, 0, 1),
          rec("f1p0", 0x8318, 0, 3, 0, 1, 0)}, {"f0p0"}},
        {{rec("a", 0x8318, 0, 3, 0, 0, 0), rec("bus", 0x8318, 0, 4, 0, 0, 0)}, {"a", "bus"}},
        {{rec("a", 0x8318, 0, 3, 0, 0, 0), rec("dev", 0x8318, 0, 3, 1, 0, 0)}, {"a", "dev"}},
        {{rec("a", 0x8318, 0, 3, 0, 0, 0), rec("dom", 0x8318, 1, 3, 0, 0, 0)}, {"a", "dom"}},
        {{rec("a", 0x8318, 0, 3, 0, 0, 0), rec("id", 0x8308, 0, 3, 0, 1, 0)}, {"a", "id"}},
    };
    for (auto c : cases) {
        std::vector<eth_dev> got;
        EXPECT_EQ(find_all_device(c.devs, got), static_cast<int>(c.cards.size()));
        std::vector<std::string> seen;
        for (const eth_dev& d : got)
            seen.emplace_back(d.name);
        EXPECT_EQ(seen, c.cards);
    }
}

}  // namespace
