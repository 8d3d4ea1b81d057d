#include "devices/device_scan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

eth_dev rec(const char* name, u16 domain, u8 bus, u8 fun, int port) {
    eth_dev d;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.domain = domain, d.bus = bus, d.fun = fun, d.port_id = port;
    d.bus_device_fun = u32{static_cast<u8>(domain)} << 24 | u32{bus} << 16 | fun;
    return d;
}

std::vector<std::string> names(const device_list& l) {
    std::vector<std::string> out;
    for (const eth_dev& d : l)
        out.emplace_back(d.name);
    return out;
}

TEST(DeviceOrderTest, InsertionRule) {
    const struct {
        std::vector<eth_dev> inserts;
        std::vector<std::string> expect;
    } cases[] = {
        {{rec("f1", 0, 3, 1, 0), rec("f0", 0, 3, 0, 0)}, {"f0", "f1"}},
        {{rec("p1", 0, 3, 0, 1), rec("p0", 0, 3, 0, 0)}, {"p0", "p1"}},
        {{rec("p0", 0, 3, 0, 0), rec("none", 0, 3, 0, -1)}, {"none", "p0"}},
        {{rec("first", 0, 3, 0, 0), rec("later", 0, 3, 0, 0)}, {"later", "first"}},
        {{rec("b2", 0, 2, 0, 0), rec("b1", 0, 1, 0, 7)}, {"b1", "b2"}},
        {{rec("d1", 1, 1, 0, 0), rec("d0", 0, 5, 0, 0)}, {"d0", "d1"}},
        {{rec("d0", 0, 5, 0, 0), rec("d1", 1, 1, 0, 0)}, {"d0", "d1"}},
        // The key holds the domain's low byte only; 0100 still follows 0000.
        {{rec("d0", 0, 5, 0, 0), rec("d256", 256, 1, 0, 0)}, {"d0", "d256"}},
    };
    for (const auto& c : cases) {
        device_list l;
        for (const eth_dev& d : c.inserts)
            EXPECT_EQ(zelvo_devices_add_dev(l, d), 0);
        EXPECT_EQ(names(l), c.expect) << c.expect[0];
    }
}

TEST(DeviceOrderTest, AnyInsertionOrderGivesOneList) {
    const eth_dev recs[] = {rec("a", 0, 1, 0, -1), rec("b", 0, 1, 0, 0), rec("c", 0, 1, 1, 0),
                            rec("d", 0, 2, 0, 3), rec("e", 1, 0, 0, 0)};
    int order[] = {0, 1, 2, 3, 4};
    do {
        device_list l;
        for (int i : order)
            zelvo_devices_add_dev(l, recs[i]);
        EXPECT_EQ(names(l), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    } while (std::next_permutation(std::begin(order), std::end(order)));
}

class DeviceScanTest : public testing::Test {
protected:
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "device_scan_XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        root_ = t;
        drv_ = root_ / "zelnic";
    }
    void TearDown() override { fs::remove_all(root_); }

    // Fresh driver directory whose entries link to functions built under
    // root/devices, as sysfs links bound functions. Text "/" makes a folder.
    void build(const std::vector<std::pair<std::string, std::string>>& files) {
        fs::remove_all(drv_);
        fs::remove_all(root_ / "devices");
        fs::create_directory(drv_);
        for (const auto& [rel, text] : files) {
            const fs::path p = root_ / "devices" / rel;
            fs::create_directories(text == "/" ? p : p.parent_path());
            if (text != "/")
                std::ofstream(p, std::ios::binary) << text;
            const fs::path top = *fs::path(rel).begin();
            if (!fs::is_symlink(drv_ / top))
                fs::create_symlink(root_ / "devices" / top, drv_ / top);
        }
    }

    // Scan output with each driver path shown as '@'.
    std::string scan(device_list& l, bool trace3) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(list_all_zelvo_devices(l, trace3, drv_.string()), 0);
        std::string out = testing::internal::GetCapturedStdout();
        for (std::size_t i; (i = out.find(drv_.string())) != std::string::npos;)
            out.replace(i, drv_.string().size(), "@");
        return out;
    }

    fs::path root_, drv_;
};

TEST_F(DeviceScanTest, OneFunctionWithTraces) {
    const std::string fn = "0000:03:00.0/", n99(99, 'n'), n100(100, 'n');
    const std::string ok = "  @/0000:03:00.0/vendor\n     vendor:0x8848\n     device:";
    const struct {
        const char *vendor, *device;  // nullptr: attribute missing
        std::vector<std::string> ifaces, expect;
        std::string out;
    } cases[] = {
        {"0x8848\n", "0x8308\n", {"eth0"}, {"eth0"}, ok + "0x8308\n"},
        {"0x8848\n", "0x8309\n", {"eth0"}, {}, ok + "0x8309\n"},
        {"0x8848\n", "0x1080\n", {"eth0"}, {}, ok + "0x1080\n"},
        {"0x8848\n", "0x1081\n", {"eth0"}, {}, ok + "0x1081\n"},
        {"0x8848\n", nullptr, {"eth0"}, {"eth0"}, ok + "0xffffffff\n"},
        {"0x10ee\n", "0x8308\n", {"eth0"}, {}, "  @/0000:03:00.0/vendor\n     vendor:0x10ee\n"},
        {nullptr, "0x8308\n", {"eth0"}, {}, "  @/0000:03:00.0/vendor\n     vendor:0xffffffff\n"},
        {"0x8848\n", "0x8308\n", {}, {}, ok + "0x8308\nError: canot open:@/0000:03:00.0/net\n"},
        {"0x8848\n", "0x8308\n", {n99, n100}, {n99}, ok + "0x8308\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, std::string>> files = {{fn, "/"}};
        if (c.vendor)
            files.emplace_back(fn + "vendor", c.vendor);
        if (c.device)
            files.emplace_back(fn + "device", c.device);
        for (const std::string& i : c.ifaces)
            files.emplace_back(fn + "net/" + i, "/");
        build(files);
        device_list l;
        EXPECT_EQ(scan(l, true), "[list_all_zelvo_devices] enter \n  open:@\n    @/0000:03:00.0\n" +
                                     c.out + "[list_all_zelvo_devices] quit\n");
        EXPECT_EQ(names(l), c.expect) << c.out;
    }
}

TEST_F(DeviceScanTest, MissingDriverDirectory) {
    const std::string msg = "!! zelvo driver is not installed! please install \n\n";
    for (bool trace3 : {false, true}) {
        device_list l;
        EXPECT_EQ(scan(l, trace3), trace3 ? "[list_all_zelvo_devices] enter \n  faild to open:@\n"
                                            "[list_all_zelvo_devices] quit\n" + msg
                                          : msg);
        EXPECT_TRUE(l.empty());
    }
}

TEST_F(DeviceScanTest, WholeTreeInOrder) {
    build({{"0001:81:1f.3/vendor", "0x8848\n"}, {"0001:81:1f.3/device", "0x8318\n"},
           {"0001:81:1f.3/net/eth9/port_idx", "0\n"},
           {"0000:03:00.1/vendor", "0x8848\n"}, {"0000:03:00.1/device", "0x8308\n"},
           {"0000:03:00.1/net/eth2/carrier", "0\n"}, {"0000:03:00.1/net/eth2/address", ""},
           {"0000:03:00.0/vendor", "0x8848\n"}, {"0000:03:00.0/device", "0x8308\n"},
           {"0000:03:00.0/net/eth1/port_idx", "1"}, {"0000:03:00.0/net/eth1/carrier", "/"},
           {"0000:03:00.0/net/eth1/address", "aa:bb:cc:dd:ee:ff:00:11\n"},
           {"0000:03:00.0/net/eth0/port_idx", "0\n"}, {"0000:03:00.0/net/eth0/carrier", "1\n"},
           {"0000:03:00.0/net/eth0/address", "aa:bb:cc:dd:ee:00\n"},
           {"0000:06:00.0/vendor", "0x8848\n"}, {"0000:06:00.0/device", "0x8308\n"},
           {"module", "/"}});
    for (const char* ctl : {"bind", "unbind", "new_id", "remove_id", "uevent"})
        std::ofstream(drv_ / ctl) << "";
    device_list l;
    EXPECT_EQ(scan(l, false), "Error: canot open:@/0000:06:00.0/net\n");

    const struct {
        const char *name, *slot;
        u16 ddevice, domain;
        u8 bus, device, fun;
        u32 key;
        int port, linkup;
        std::optional<std::string> mac;
    } want[] = {
        {"eth0", "0000:03:00.0", 0x8308, 0, 3, 0, 0, 0x00030000, 0, 1, "aa:bb:cc:dd:ee:00"},
        {"eth1", "0000:03:00.0", 0x8308, 0, 3, 0, 0, 0x00030000, 1, 0, "aa:bb:cc:dd:ee:ff"},
        {"eth2", "0000:03:00.1", 0x8308, 0, 3, 0, 1, 0x00030001, -1, 0, std::nullopt},
        {"eth9", "0001:81:1f.3", 0x8318, 1, 0x81, 0x1f, 3, 0x01811f03, 0, 0, std::nullopt},
    };
    ASSERT_EQ(l.size(), std::size(want));
    auto it = l.begin();
    for (const auto& w : want) {
        const eth_dev& d = *it++;
        EXPECT_STREQ(d.name, w.name);
        EXPECT_EQ(d.pci_slot, w.slot);
        EXPECT_EQ(d.vendor, 0x8848);
        EXPECT_EQ(d.ddevice, w.ddevice);
        EXPECT_EQ(d.domain, w.domain);
        EXPECT_EQ(d.bus, w.bus);
        EXPECT_EQ(d.device, w.device);
        EXPECT_EQ(d.fun, w.fun);
        EXPECT_EQ(d.bus_device_fun, w.key);
        EXPECT_EQ(d.port_id, w.port);
        EXPECT_EQ(d.linkup, w.linkup);
        EXPECT_EQ(d.cur_mac_address, w.mac);
    }
}

}  // namespace
