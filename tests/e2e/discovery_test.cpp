// Device discovery as the operator sees it: the device table built from the
// driver's sysfs folder, whatever order the folders list their entries in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "sim_harness.h"

namespace e2e {
namespace {

constexpr char TITLE[] = "======= zelvo net devices =======\n";
constexpr char TABLE_HEAD[] =
    " idx port  name            device_id  pci-slot   mac-addr           link\n"
    " --  ----  ----            --------   ------     -------            ---\n";

// Every kind of driver-folder entry the scan must sort or skip, written so
// that neither the order as written, nor reversed, nor by name is the order
// of the table: a second domain first, function 1 before function 0, port 1
// before port 0, an unreadable port index, virtual functions, a foreign
// vendor's function, a function without net folder and stray entries.
std::string mixed_driver_folder(const std::string& order) {
    return "order " + order +
           "\n"
           "stray notes.txt\n"
           "stray old-entry dir\n"
           "card 0001:01:00.0 device=0x8208 mac=02:00:00:01:01:00\n"
           "iface dom1 port=0 address=02:00:00:01:01:00\n"
           "card 0000:06:00.0 device=0x8308 mac=02:00:00:00:06:00\n"
           "function 0000:06:00.3\n"
           "iface f3a port=2 carrier=0 address=02:00:00:00:06:02\n"
           "function 0000:06:00.2 device=0x8309\n"
           "iface vf2 port=0\n"
           "function 0000:06:00.1 vendor=0x1234\n"
           "iface foreign1 port=0\n"
           "function 0000:06:00.0\n"
           "iface za port=1 address=02:00:00:00:06:01\n"
           "iface zb port=0 address=none\n"
           "iface zc port=unreadable carrier=0 address=02:00:00:00:06:0f\n"
           "function 0000:06:00.4 device=0x1080\n"
           "iface vf4 port=0\n"
           "function 0000:06:00.5 device=0x1081\n"
           "iface vf5 port=0\n"
           "function 0000:06:00.6 net=no\n"
           "card 0000:03:00.0 device=0x8318 mac=02:00:00:00:03:00\n"
           "function 0000:03:00.1\n"
           "iface n1 port=1 carrier=0 address=02:00:00:00:03:01\n"
           "function 0000:03:00.0\n"
           "iface n0 port=0 address=02:00:00:00:03:00\n";
}

// What the scan of mixed_driver_folder prints, then the table.
const std::string MIXED_LISTING =
    std::string("Error: canot open:/sys/bus/pci/drivers/zelnic/0000:06:00.6/net\n") + TITLE + TABLE_HEAD +
    " 0   port0 n0              8848:8318 0000:03:00.0 02:00:00:00:03:00  up\n"
    " 1   port1 n1              8848:8318 0000:03:00.1 02:00:00:00:03:01  down\n"
    " 2   port-1 zc              8848:8308 0000:06:00.0 02:00:00:00:06:0f  down\n"
    " 3   port0 zb              8848:8308 0000:06:00.0 -                  up\n"
    " 4   port1 za              8848:8308 0000:06:00.0 02:00:00:00:06:01  up\n"
    " 5   port2 f3a             8848:8308 0000:06:00.3 02:00:00:00:06:02  down\n"
    " 6   port0 dom1            8848:8208 0001:01:00.0 02:00:00:01:01:00  up\n";

TEST(Discovery, TableIsOrderedWhateverTheFolderOrder) {
    struct {
        const char* order;
        std::vector<std::string> args;
        bool banner;
    } const cases[] = {
        {"config", {}, true},  // no arguments at all: banner and table
        {"reverse", {"-l"}, true},
        {"sorted", {"-q", "--list"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        const sim_run r = run_tool(c.args, mixed_driver_folder(c.order));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(c.banner ? strip_banner(r.out) : r.out, MIXED_LISTING);
        EXPECT_TRUE(read_request_log(r.state_dir).empty()) << "listing touches no flash";
    }
}

TEST(Discovery, DriverFolderWithoutDevicesListsOnlyTheTitle) {
    const sim_run r = run_tool({"-q", "-l"}, "order sorted\nstray notes.txt\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, TITLE);
}

TEST(Discovery, VvvTracesEveryDriverFolderEntry) {
    const std::string config =
        "order sorted\n"
        "card 0000:03:00.0 device=0x8308 mac=02:00:00:00:03:00\n"
        "function 0000:03:00.0\n"
        "iface t0 port=0 address=02:00:00:00:03:00\n"
        "function 0000:03:00.1 device=0x8309\n"
        "iface tv port=0\n";
    const sim_run r = run_tool({"-q", "-vvv", "-l"}, config);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string d = "/sys/bus/pci/drivers/zelnic";
    // Control files are plain files; the module link is a folder without vendor.
    const std::string expected =
        "[list_all_zelvo_devices] enter \n"
        "  open:" + d + "\n"
        "    " + d + "/0000:03:00.0\n"
        "  " + d + "/0000:03:00.0/vendor\n"
        "     vendor:0x8848\n"
        "     device:0x8308\n"
        "    " + d + "/0000:03:00.1\n"
        "  " + d + "/0000:03:00.1/vendor\n"
        "     vendor:0x8848\n"
        "     device:0x8309\n"
        "    " + d + "/bind\n"
        "    " + d + "/module\n"
        "  " + d + "/module/vendor\n"
        "     vendor:0xffffffff\n"
        "    " + d + "/new_id\n"
        "    " + d + "/remove_id\n"
        "    " + d + "/uevent\n"
        "    " + d + "/unbind\n"
        "[list_all_zelvo_devices] quit\n" +
        TITLE + TABLE_HEAD +
        " 0   port0 t0              8848:8308 0000:03:00.0 02:00:00:00:03:00  up\n";
    EXPECT_EQ(r.out, expected);
}

TEST(Discovery, MissingDriverIsReportedAndTheTableIsEmpty) {
    const std::string missing = "!! zelvo driver is not installed! please install \n\n";
    struct {
        std::vector<std::string> args;
        bool banner;
        int status;
        std::string expected;
    } const cases[] = {
        {{}, true, 0, missing + TITLE},
        {{"-q", "-l"}, false, 0, missing + TITLE},
        {{"-q", "-vvv", "-l"},
         false,
         0,
         "[list_all_zelvo_devices] enter \n"
         "  faild to open:/sys/bus/pci/drivers/zelnic\n"
         "[list_all_zelvo_devices] quit\n" +
             missing + TITLE},
        // The run goes on with an empty list, and finds nothing to select.
        {{"-q", "-i", "0"}, false, 255, missing + "no ethernet devices found for 0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const sim_run r = run_tool(c.args, "driver absent\n");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(c.banner ? strip_banner(r.out) : r.out, c.expected);
    }
}

}  // namespace
}  // namespace e2e
