#include "devices/device_scan.h"

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using test_support::names;

eth_dev rec(const char* name, u16 domain, u8 bus, u8 fun, int port) {
    eth_dev d;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.domain = domain, d.bus = bus, d.fun = fun, d.port_id = port;
    d.bus_device_fun = u32{static_cast<u8>(domain)} << 24 | u32{bus} << 16 | fun;
    return d;
}

TEST(DeviceOrderTest, InsertionRule) {
    // Distinct keys give one list in every insertion order: by bus, function,
    // port (-1 before 0), and domain 1 after domain 0.
    const eth_dev recs[] = {rec("a", 0, 1, 0, -1), rec("b", 0, 1, 0, 0), rec("c", 0, 1, 0, 1),
                            rec("d", 0, 1, 1, 0),  rec("e", 0, 2, 0, 0), rec("f", 1, 0, 0, 0)};
    int order[] = {0, 1, 2, 3, 4, 5};
    do {
        device_list l;
        for (int i : order)
            EXPECT_EQ(zelvo_devices_add_dev(l, recs[i]), 0);
        ASSERT_EQ(names(l), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}))
            << "order " << testing::PrintToString(order);
    } while (std::next_permutation(std::begin(order), std::end(order)));

    // Of two equal keys the later stands first. Domain 256 shares domain 0's
    // key byte yet still follows it.
    device_list l;
    for (const eth_dev& d : {rec("first", 0, 3, 0, 0), rec("later", 0, 3, 0, 0), rec("d256", 256, 1, 0, 0)})
        zelvo_devices_add_dev(l, d);
    EXPECT_EQ(names(l), (std::vector<std::string>{"later", "first", "d256"}));
}

class DeviceScanTest : public testing::Test {
protected:
    // Files under root/devices (text "/" makes a folder), each top folder
    // linked from the driver directory as sysfs links bound functions.
    void build(const std::vector<std::pair<std::string, std::string>>& files) {
        fs::create_directory(drv_);
        for (const auto& [rel, text] : files) {
            const fs::path p = fs::path(tmp_.path()) / "devices" / rel, top = *fs::path(rel).begin();
            fs::create_directories(text == "/" ? p : p.parent_path());
            if (text != "/")
                std::ofstream(p, std::ios::binary) << text;
            if (!fs::is_symlink(drv_ / top))
                fs::create_symlink(fs::path(tmp_.path()) / "devices" / top, drv_ / top);
        }
    }

    // Scan output with the driver path shown as '@'.
    std::string scan(device_list& l, bool trace3) {
        auto o = test_support::run([&] { return list_all_zelvo_devices(l, trace3, drv_); });
        EXPECT_EQ(o.result, 0);
        for (std::size_t i; (i = o.output.find(drv_.string())) != std::string::npos;)
            o.output.replace(i, drv_.string().size(), "@");
        return o.output;
    }

    test_support::temp_dir tmp_;
    const fs::path drv_ = fs::path(tmp_.path()) / "zelnic";
};

TEST_F(DeviceScanTest, TracesAndMissingDriver) {
    const std::string enter = "[list_all_zelvo_devices] enter \n", quit = "[list_all_zelvo_devices] quit\n";
    const std::string msg = "!! zelvo driver is not installed! please install \n\n";
    device_list l;
    EXPECT_EQ(scan(l, false), msg);
    EXPECT_EQ(scan(l, true), enter + "  faild to open:@\n" + quit + msg);
    EXPECT_TRUE(l.empty());

    build({{"0000:03:00.0/vendor", "0x8848\n"}, {"0000:03:00.0/device", "0x8308\n"}, {"0000:03:00.0/net/eth0", "/"}});
    EXPECT_EQ(scan(l, true), enter + "  open:@\n    @/0000:03:00.0\n  @/0000:03:00.0/vendor\n     vendor:0x8848\n"
                                     "     device:0x8308\n" + quit);
    EXPECT_EQ(names(l), std::vector<std::string>{"eth0"});
}

// One line per record: name, slot, ids, parsed address, key, port, link, address text.
std::string describe(const eth_dev& d) {
    char line[300];
    std::snprintf(line, sizeof line, "%s %s %04x:%04x %04x:%02x:%02x.%u %08x port%d link%d %s", d.name,
                  d.pci_slot.c_str(), d.vendor, d.ddevice, d.domain, d.bus, d.device, d.fun, d.bus_device_fun,
                  d.port_id, d.linkup, d.cur_mac_address ? d.cur_mac_address->c_str() : "(none)");
    return line;
}

TEST_F(DeviceScanTest, WholeTreeInOrder) {
    const std::string n99(99, 'n'), n100(100, 'n'), f0 = "0000:03:00.0/", f1 = "0000:03:00.1/";
    const std::string v = "/vendor", dv = "/device", zv = "0x8848\n";
    build({{"0001:81:1f.3" + v, zv}, {"0001:81:1f.3" + dv, "0x8318\n"}, {"0001:81:1f.3/net/eth9/port_idx", "0\n"},
           {f1 + "vendor", zv}, {f1 + "device", "0x8308\n"}, {f1 + "net/eth2/carrier", "0\n"},
           {f1 + "net/eth2/address", ""},
           {f0 + "vendor", zv}, {f0 + "device", "0x8308\n"}, {f0 + "net/" + n99, "/"}, {f0 + "net/" + n100, "/"},
           {f0 + "net/eth1/port_idx", "1"}, {f0 + "net/eth1/carrier", "/"},
           {f0 + "net/eth1/address", "aa:bb:cc:dd:ee:ff:00:11\n"}, {f0 + "net/eth0/port_idx", "0\n"},
           {f0 + "net/eth0/carrier", "1\n"}, {f0 + "net/eth0/address", "aa:bb:cc:dd:ee:00\n"},
           {"0000:06:00.0" + v, zv}, {"0000:06:00.0" + dv, "0x8308\n"},  // no net folder
           // Virtual functions, a foreign vendor and no vendor at all: skipped.
           {"0000:07:00.0" + v, zv}, {"0000:07:00.0" + dv, "0x8309\n"}, {"0000:07:00.0/net/vf0", "/"},
           {"0000:07:00.1" + v, zv}, {"0000:07:00.1" + dv, "0x1080\n"}, {"0000:07:00.1/net/vf1", "/"},
           {"0000:07:00.2" + v, zv}, {"0000:07:00.2" + dv, "0x1081\n"}, {"0000:07:00.2/net/vf2", "/"},
           {"0000:08:00.0" + v, "0x10ee\n"}, {"0000:08:00.0" + dv, "0x8308\n"}, {"0000:08:00.0/net/xx0", "/"},
           {"0000:09:00.0" + dv, "0x8308\n"}, {"0000:09:00.0/net/xx1", "/"},
           // Unreadable device id: not a virtual function, so kept.
           {"0000:0a:00.0" + v, zv}, {"0000:0a:00.0/net/eth11", "/"}, {"module", "/"}});
    for (const char* ctl : {"bind", "unbind", "new_id", "remove_id", "uevent"})
        std::ofstream(drv_ / ctl) << "";
    device_list l;
    EXPECT_EQ(scan(l, false), "Error: canot open:@/0000:06:00.0/net\n");
    const std::vector<std::string> want = {
        n99 + " 0000:03:00.0 8848:8308 0000:03:00.0 00030000 port-1 link0 (none)",
        "eth0 0000:03:00.0 8848:8308 0000:03:00.0 00030000 port0 link1 aa:bb:cc:dd:ee:00",
        "eth1 0000:03:00.0 8848:8308 0000:03:00.0 00030000 port1 link0 aa:bb:cc:dd:ee:ff",
        "eth2 0000:03:00.1 8848:8308 0000:03:00.1 00030001 port-1 link0 (none)",
        "eth11 0000:0a:00.0 8848:ffff 0000:0a:00.0 000a0000 port-1 link0 (none)",
        "eth9 0001:81:1f.3 8848:8318 0001:81:1f.3 01811f03 port0 link0 (none)",
    };
    std::vector<std::string> got;
    for (const eth_dev& d : l)
        got.push_back(describe(d));
    EXPECT_EQ(got, want);
}

}  // namespace
