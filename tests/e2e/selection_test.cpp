// Device selection: by position, interface name, PCI slot or all cards, the
// messages and statuses of a selection that fails, and the runs that end in
// the usage listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

// Table positions: 0 s3p0, 1 s3p1, 2 s1a0, 3 s1a1, 4 d1a. Bus 0x1a appears
// in two domains, so slot texts must be read as hexadecimal and the domain
// must count; the 0x1a card is one card with two functions.
const std::string CARDS =
    "order reverse\n"
    "card 0000:03:00.0 device=0x8308\niface s3p0 port=0\niface s3p1 port=1\n"
    "card 0000:1a:00.0 device=0x8318\nfunction 0000:1a:00.0\niface s1a0 port=0\n"
    "function 0000:1a:00.1\niface s1a1 port=1\n"
    "card 0001:1a:00.0 device=0x8208\niface d1a port=0\n";

void run_cases(const std::string& config, const std::vector<tool_case>& cases) {
    for (const tool_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        expect_run(preset_cards(), c, config);
    }
}

TEST(Selection, EachSelectorPicksItsDevice) {
    run_cases(CARDS, {
        {{"-q", "-i", "0"}, 0, "s3p0 port0\n", "r3"},
        {{"-q", "-d", "s1a1"}, 0, "s1a1 port1\n", "r3"},
        // Bus, device and function: domain 0, bus read as hexadecimal.
        {{"-q", "-slot", "1a:00.1"}, 0, "1a:00.1 s1a1\ns1a1 port1\n", "r3"},
        {{"-q", "-slot", "0001:1a:00.0"}, 0, "0001:1a:00.0 d1a\nd1a port0\n", "r3"},
        {{"-q", "--slot", "0000:1A:00.0"}, 0, "0000:1A:00.0 s1a0\ns1a0 port0\n", "r3"},
        // A later selector replaces an earlier one; the slot line still shows.
        {{"-q", "-slot", "03:00.0", "-i", "4"}, 0, "03:00.0 s3p0\nd1a port0\n", "r3"},
        // All cards, one pass each.
        {{"-q", "-a"}, 0, "get 3 device info\ns3p0 port0\ns1a0 port0\nd1a port0\n", "r3 r3 r3"},
    });
}

TEST(Selection, FailedSelectionEndsTheRunBeforeAnyFlashAccess) {
    const std::string invalid = "input format is invalid: ";
    run_cases(CARDS, {
        {{"-q", "-i", "5"}, 255, "no ethernet devices found for 5\n", ""},
        {{"-q", "-d", "S3P0"}, 255, "no ethernet devices found for S3P0\n", ""},
        // 26 is bus 0x26, not the decimal spelling of 0x1a.
        {{"-q", "-slot", "26:00.0"}, 255, "no ethernet devices for 26:00.0\n", ""},
        // Bus 0x103 does not fit a bus number: it must not match bus 0x03.
        {{"-q", "-slot", "103:00.0"}, 255, "no ethernet devices for 103:00.0\n", ""},
        {{"-q", "-slot", "0002:1a:00.0"}, 255, "no ethernet devices for 0002:1a:00.0\n", ""},
        {{"-q", "-slot", "03:00:0"}, 255, invalid + "03:00:0\nno ethernet devices for 03:00:0\n", ""},
        // Every selector given must resolve, whatever comes later.
        {{"-q", "-slot", "1a:00.1", "-i", "9"}, 255, "1a:00.1 s1a1\nno ethernet devices found for 9\n", ""},
        // An over-long value is refused before anything else, -l included.
        {{"-q", "-d", std::string(100, 'n'), "-l"}, 255, "arg:-d value too long, at most 99 characters\n", ""},
        {{"-q", "-i", "0", "-sn", std::string(33, 's')}, 255, "arg:-sn value too long, at most 32 characters\n", ""},
    });
    // With no devices the slot text is not even looked at.
    run_cases("order sorted\n", {
        {{"-q", "-slot", "slot3"}, 255, "no ethernet devices for slot3\n", ""},
        {{"-q", "-a"}, 255, "no ethernet devices found\n", ""},
    });
}

TEST(Selection, RunsWithoutSelectionEndInTheUsageListing) {
    const sim_run help = preset_cards().run({"-h"}, CARDS);
    EXPECT_EQ(help.status, 0) << help.err;
    // No banner: the parser answers -h first. "Usage:" and the 46 listed rows
    // of the option table: short name in two columns, long name in ten,
    // "<arg>" or a tab, a tab padded to eight, the description.
    const std::string& usage = help.out;
    EXPECT_EQ(usage.rfind("Usage:\n", 0), 0u) << usage;
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 47) << usage;
    for (const char* row : {"   i | idx        <arg> \t        nr network device\n",
                            "     | reset-cfg  \t \t        reset mac and other cfg\n"})
        EXPECT_NE(usage.find(row), std::string::npos) << "missing row: " << row;

    const std::string please = "please select device by -i or -d\n\n";
    run_cases(CARDS, {
        {{"-q"}, 0, please + usage, ""},
        {{"-sn", "X", "-lldp_tx", "1 2 3 4"}, 0, please + usage, ""},
        {{"-q", "-l", "--nosuch"}, 0, "invalid arg:--nosuch index:3\n" + usage, ""},
    });
}

}  // namespace
}  // namespace e2e
