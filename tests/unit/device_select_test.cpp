#include "devices/device_select.h"

#include "test_support.h"

namespace {

eth_dev rec(const char* name, u16 ddevice, u16 domain, u8 bus, u8 device, u8 fun, int port) {
    eth_dev d;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.vendor = 0x8848, d.ddevice = ddevice, d.port_id = port;
    d.domain = domain, d.bus = bus, d.device = device, d.fun = fun;
    return d;
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
