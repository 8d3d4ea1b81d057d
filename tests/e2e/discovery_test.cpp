// Device discovery as the operator sees it: the device table built from the
// driver's sysfs folder, whatever order the folders list their entries in.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "e2e_support.h"

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
    return "order " + order + "\nstray notes.txt\nstray old-entry dir\n"
           "card 0001:01:00.0 device=0x8208 mac=02:00:00:01:01:00\niface dom1 port=0 address=02:00:00:01:01:00\n"
           "card 0000:06:00.0 device=0x8308 mac=02:00:00:00:06:00\n"
           "function 0000:06:00.3\niface f3a port=2 carrier=0 address=02:00:00:00:06:02\n"
           "function 0000:06:00.2 device=0x8309\niface vf2 port=0\n"
           "function 0000:06:00.1 vendor=0x1234\niface foreign1 port=0\n"
           "function 0000:06:00.0\niface za port=1 address=02:00:00:00:06:01\niface zb port=0 address=none\n"
           "iface zc port=unreadable carrier=0 address=02:00:00:00:06:0f\n"
           "function 0000:06:00.4 device=0x1080\niface vf4 port=0\n"
           "function 0000:06:00.5 device=0x1081\niface vf5 port=0\nfunction 0000:06:00.6 net=no\n"
           "card 0000:03:00.0 device=0x8318 mac=02:00:00:00:03:00\n"
           "function 0000:03:00.1\niface n1 port=1 carrier=0 address=02:00:00:00:03:01\n"
           "function 0000:03:00.0\niface n0 port=0 address=02:00:00:00:03:00\n";
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

// A card and its virtual function, and the -vvv trace of their scan, every
// driver-folder entry in name order: control files are plain files, the
// module link is a folder without vendor.
const std::string CARD_AND_VF =
    "order sorted\ncard 0000:03:00.0 device=0x8308\n"
    "function 0000:03:00.0\niface t0 port=0 address=02:00:00:00:03:00\n"
    "function 0000:03:00.1 device=0x8309\niface tv port=0\n";
const std::string CARD_AND_VF_TRACE = std::regex_replace(
    "[list_all_zelvo_devices] enter \n  open:DRV\n"
    "    DRV/0000:03:00.0\n  DRV/0000:03:00.0/vendor\n     vendor:0x8848\n     device:0x8308\n"
    "    DRV/0000:03:00.1\n  DRV/0000:03:00.1/vendor\n     vendor:0x8848\n     device:0x8309\n"
    "    DRV/bind\n    DRV/module\n  DRV/module/vendor\n     vendor:0xffffffff\n"
    "    DRV/new_id\n    DRV/remove_id\n    DRV/uevent\n    DRV/unbind\n"
    "[list_all_zelvo_devices] quit\n",
    std::regex("DRV"), "/sys/bus/pci/drivers/zelnic");

TEST(Discovery, ListingRuns) {
    const std::string missing = "!! zelvo driver is not installed! please install \n\n";
    const struct {
        std::string config;
        tool_case c;
    } cases[] = {
        {mixed_driver_folder("config"), {{}, 0, MIXED_LISTING, ""}},  // no arguments at all: the table
        {mixed_driver_folder("reverse"), {{"-l"}, 0, MIXED_LISTING, ""}},
        {mixed_driver_folder("sorted"), {{"-q", "--list"}, 0, MIXED_LISTING, ""}},
        {"order sorted\nstray notes.txt\n", {{"-q", "-l"}, 0, TITLE, ""}},
        {CARD_AND_VF,
         {{"-q", "-vvv", "-l"}, 0,
          CARD_AND_VF_TRACE + TITLE + TABLE_HEAD +
              " 0   port0 t0              8848:8308 0000:03:00.0 02:00:00:00:03:00  up\n", ""}},
        // The run goes on with an empty list, and finds nothing to select.
        {"driver absent\n", {{"-q", "-i", "0"}, 255, missing + "no ethernet devices found for 0\n", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config.substr(0, c.config.find('\n')) + " " + testing::PrintToString(c.c.args));
        expect_run(preset_cards(), c.c, c.config);
    }
}

}  // namespace
}  // namespace e2e
