#include "devices/device_select.h"

#include "test_support.h"

using namespace std::string_literals;
using test_support::run;

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

TEST(DeviceSelectTest, TableAndEmptyRegistry) {
    device_list l;
    std::vector<eth_dev> cards(1, rec("keep", 0, 0, 0, 0, 0, 0));
    const auto empty = run([&] {
        EXPECT_EQ(find_device_by_name(l, "eth0"), nullptr);
        EXPECT_EQ(find_device_by_idx(l, 0), nullptr);
        EXPECT_EQ(find_device_by_pci_slot(l, "junk"), nullptr);  // not even examined
        EXPECT_EQ(find_all_device(l, cards), 0);
        return print_deivces(l);
    });
    EXPECT_EQ(empty.output, "======= zelvo net devices =======\n");
    EXPECT_EQ(test_support::names(cards), std::vector<std::string>{"keep"});

    l = {rec("eth0", 0x8308, 0, 3, 0, 0, 0), rec("enp129s0f1", 0x8318, 0x10, 0x81, 0x1f, 1, -1)};
    l.front().cur_mac_address = "aa:bb:cc:dd:ee:00";
    l.front().linkup = 1;
    EXPECT_EQ(run([&] { print_deivces(l); }).output,
              "======= zelvo net devices =======\n"
              " idx port  name            device_id  pci-slot   mac-addr           link\n"
              " --  ----  ----            --------   ------     -------            ---\n"
              " 0   port0 eth0            8848:8308 0000:03:00.0 aa:bb:cc:dd:ee:00  up\n"
              " 1   port-1 enp129s0f1      8848:8318 0010:81:1f.1 -                  down\n");
}

TEST(DeviceSelectTest, Lookups) {
    device_list l = registry();
    for (const auto& [name, pos] : {std::pair{"eth0", 1}, {"eth1", 2}, {"d1", 5}, {"ETH0", -1}, {"eth", -1}, {"", -1}})
        EXPECT_EQ(find_device_by_name(l, name), at(l, pos)) << name;
    for (const auto& [nr, pos] : {std::pair{0, 0}, {5, 5}, {6, -1}, {-1, -1}})
        EXPECT_EQ(find_device_by_idx(l, nr), at(l, pos)) << nr;
    const std::pair<const char*, int> slots[] = {  // -2: none, reported as invalid
        {"03:00.0", 1},      {"0000:03:00.0", 1}, {"0001:03:00.0", 5}, {"03:00.1", 3},
        {"10:00.1", 4},      {"16:00.1", -1},     {"04:00.0", -1},     {"03:00.0 tail", 1},
        {"100:00.0", -1},    {"0:3:0", -2},       {"3.0", -2},         {"", -2},
    };
    for (const auto& [text, pos] : slots) {
        const auto o =
            run([&, text = text, pos = pos] { return find_device_by_pci_slot(l, text) == at(l, std::max(pos, -1)); });
        const std::string message = pos == -2 ? "input format is invalid: "s + text + "\n" : "";
        EXPECT_EQ(std::pair(o.result, o.output), std::pair(1, message)) << text;
    }
}

TEST(DeviceSelectTest, OneEntryPerCard) {
    // Functions and ports of one card fold into its first interface; bus,
    // device number, domain and device id each tell cards apart.
    device_list l = {rec("f0p0", 0x8318, 0, 3, 0, 0, 0), rec("f0p1", 0x8318, 0, 3, 0, 0, 1),
                     rec("bus", 0x8318, 0, 4, 0, 0, 0),  rec("dev", 0x8318, 0, 3, 1, 0, 0),
                     rec("dom", 0x8318, 1, 3, 0, 0, 0),  rec("id", 0x8308, 0, 3, 0, 1, 0),
                     rec("f1p1", 0x8318, 0, 3, 0, 1, 1)};
    std::vector<eth_dev> got;
    EXPECT_EQ(find_all_device(l, got), 5);
    EXPECT_EQ(test_support::names(got), (std::vector<std::string>{"f0p0", "bus", "dev", "dom", "id"}));
}

}  // namespace
