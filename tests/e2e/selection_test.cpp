// Device selection: by position, interface name, PCI slot or all cards, the
// messages and statuses of a selection that fails, and the runs that end in
// the usage listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "sim_harness.h"

namespace e2e {
namespace {

// Table positions: 0 s3p0, 1 s3p1, 2 s1a0, 3 s1a1, 4 d1a. Bus 0x1a appears
// in two domains, so slot texts must be read as hexadecimal and the domain
// must count; the 0x1a card is one card with two functions.
const std::string SELECT_CONFIG =
    "order reverse\n"
    "card 0000:03:00.0 device=0x8308\n"
    "iface s3p0 port=0\n"
    "iface s3p1 port=1\n"
    "card 0000:1a:00.0 device=0x8318\n"
    "function 0000:1a:00.0\n"
    "iface s1a0 port=0\n"
    "function 0000:1a:00.1\n"
    "iface s1a1 port=1\n"
    "card 0001:1a:00.0 device=0x8208\n"
    "iface d1a port=0\n";

// A driver folder with no device in it.
const std::string NO_CARDS = "order sorted\n";

// The interfaces whose user record a run read, in order.
std::vector<std::string> loaded_ifaces(const std::string& state_dir) {
    std::vector<std::string> ifaces;
    for (const logged_request& e : read_request_log(state_dir)) {
        EXPECT_EQ(e.cmd, 0) << "selection alone writes nothing: " << e.line;
        EXPECT_EQ(e.part, 3) << e.line;
        ifaces.push_back(e.iface);
    }
    return ifaces;
}

struct selection_case {
    std::vector<std::string> args;
    const std::string* config;
    int status;
    std::string out;
    std::vector<std::string> loaded;  // records read by the pipeline
};

void run_cases(const std::vector<selection_case>& cases) {
    for (const selection_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const sim_run r = run_tool(c.args, *c.config);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(loaded_ifaces(r.state_dir), c.loaded);
    }
}

TEST(Selection, EachSelectorPicksItsDevice) {
    run_cases({
        {{"-q", "-i", "0"}, &SELECT_CONFIG, 0, "s3p0 port0\n", {"s3p0"}},
        {{"-q", "--idx", "4"}, &SELECT_CONFIG, 0, "d1a port0\n", {"d1a"}},
        {{"-q", "-d", "s1a1"}, &SELECT_CONFIG, 0, "s1a1 port1\n", {"s1a1"}},
        // Bus, device and function: domain 0, bus read as hexadecimal.
        {{"-q", "-slot", "1a:00.1"}, &SELECT_CONFIG, 0, "1a:00.1 s1a1\ns1a1 port1\n", {"s1a1"}},
        {{"-q", "-slot", "0001:1a:00.0"}, &SELECT_CONFIG, 0, "0001:1a:00.0 d1a\nd1a port0\n", {"d1a"}},
        {{"-q", "--slot", "0000:1A:00.0"}, &SELECT_CONFIG, 0, "0000:1A:00.0 s1a0\ns1a0 port0\n", {"s1a0"}},
        // Text after the function number is not looked at.
        {{"-q", "-slot", "03:00.0 spare"}, &SELECT_CONFIG, 0, "03:00.0 spare s3p0\ns3p0 port0\n", {"s3p0"}},
        // A later selector replaces an earlier one; the slot line still shows.
        {{"-q", "-slot", "03:00.0", "-i", "4"}, &SELECT_CONFIG, 0, "03:00.0 s3p0\nd1a port0\n", {"d1a"}},
        {{"-q", "-i", "2", "-d", "s3p1"}, &SELECT_CONFIG, 0, "s1a0 port0\n", {"s1a0"}},
        {{"-q", "-slot", "03:00.0", "-d", "s1a1"}, &SELECT_CONFIG, 0, "03:00.0 s3p0\ns1a1 port1\n", {"s1a1"}},
    });
}

TEST(Selection, AllCardsOnePassPerCard) {
    const std::string all = "get 3 device info\ns3p0 port0\ns1a0 port0\nd1a port0\n";
    run_cases({
        {{"-q", "-a"}, &SELECT_CONFIG, 0, all, {"s3p0", "s1a0", "d1a"}},
        // Another selector is checked, but -a decides what is processed.
        {{"-q", "-i", "3", "--all"}, &SELECT_CONFIG, 0, all, {"s3p0", "s1a0", "d1a"}},
        {{"-q", "-a"}, &NO_CARDS, 255, "no ethernet devices found\n", {}},
    });
}

TEST(Selection, FailedSelectionEndsTheRunBeforeAnyFlashAccess) {
    const std::string name99(99, 'n');
    run_cases({
        {{"-q", "-i", "5"}, &SELECT_CONFIG, 255, "no ethernet devices found for 5\n", {}},
        {{"-q", "-i", "0"}, &NO_CARDS, 255, "no ethernet devices found for 0\n", {}},
        {{"-q", "-d", "s3p9"}, &SELECT_CONFIG, 255, "no ethernet devices found for s3p9\n", {}},
        {{"-q", "-d", "S3P0"}, &SELECT_CONFIG, 255, "no ethernet devices found for S3P0\n", {}},
        {{"-q", "-d", name99}, &SELECT_CONFIG, 255, "no ethernet devices found for " + name99 + "\n", {}},
        // 26 is bus 0x26, not the decimal spelling of 0x1a.
        {{"-q", "-slot", "26:00.0"}, &SELECT_CONFIG, 255, "no ethernet devices for 26:00.0\n", {}},
        {{"-q", "-slot", "1a:00.2"}, &SELECT_CONFIG, 255, "no ethernet devices for 1a:00.2\n", {}},
        // Bus 0x103 does not fit a bus number: it must not match bus 0x03.
        {{"-q", "-slot", "103:00.0"}, &SELECT_CONFIG, 255, "no ethernet devices for 103:00.0\n", {}},
        {{"-q", "-slot", "0002:1a:00.0"}, &SELECT_CONFIG, 255, "no ethernet devices for 0002:1a:00.0\n", {}},
        {{"-q", "-slot", "03:00:0"},
         &SELECT_CONFIG,
         255,
         "input format is invalid: 03:00:0\nno ethernet devices for 03:00:0\n",
         {}},
        {{"-q", "-slot", "slot3"},
         &SELECT_CONFIG,
         255,
         "input format is invalid: slot3\nno ethernet devices for slot3\n",
         {}},
        // With no devices the slot text is not even looked at.
        {{"-q", "-slot", "slot3"}, &NO_CARDS, 255, "no ethernet devices for slot3\n", {}},
        // Every selector given must resolve, whatever comes later.
        {{"-q", "-slot", "1a:00.1", "-i", "9"},
         &SELECT_CONFIG,
         255,
         "1a:00.1 s1a1\nno ethernet devices found for 9\n",
         {}},
        {{"-q", "-d", "s3p9", "-i", "0"}, &SELECT_CONFIG, 255, "no ethernet devices found for s3p9\n", {}},
    });
}

TEST(Selection, OverlongValueIsRefusedBeforeAnythingElse) {
    const std::string name100(100, 'n');
    run_cases({
        {{"-d", name100, "-l"}, &SELECT_CONFIG, 255, "arg:-d value too long, at most 99 characters\n", {}},
        {{"-i", "0", "--slot", name100}, &SELECT_CONFIG, 255,
         "arg:--slot value too long, at most 99 characters\n", {}},
        {{"-q", "-i", "0", "-sn", std::string(33, 's')}, &SELECT_CONFIG, 255,
         "arg:-sn value too long, at most 32 characters\n", {}},
    });
}

// The usage listing: "Usage:" and the 46 listed rows of the option table.
void expect_usage_listing(const std::string& text) {
    EXPECT_EQ(text.rfind("Usage:\n", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 47) << text;
    // Short name in two columns, long name in ten, "<arg>" or a tab, a tab
    // padded to eight, the description.
    const char* rows[] = {
        "   v | verbose    \t \t        versbose descript\n",
        "   i | idx        <arg> \t        nr network device\n",
        "     | reset-cfg  \t \t        reset mac and other cfg\n",
        "   a | all        \t \t        all network device\n",
        "   s | slot       <arg> \t        find device by pci slot. ie: a0:00.1\n",
        "   d | dump       <arg> \t        data len\n",
    };
    for (const char* row : rows)
        EXPECT_NE(text.find(row), std::string::npos) << "missing row: " << row;
    EXPECT_EQ(text.find(" vvv "), std::string::npos) << "unlisted rows stay out";
}

TEST(Selection, RunsWithoutSelectionEndInTheUsageListing) {
    const sim_run help = run_tool({"-h"}, SELECT_CONFIG);
    EXPECT_EQ(help.status, 0) << help.err;
    expect_usage_listing(help.out);  // no banner: the parser answers -h first
    const std::string& usage = help.out;

    const std::string please = "please select device by -i or -d\n\n";
    struct {
        std::vector<std::string> args;
        bool banner;
        std::string out;
    } const cases[] = {
        {{"-q"}, false, please + usage},
        {{"-sn", "X", "-lldp_tx", "1 2 3 4"}, true, please + usage},
        {{"-l", "--nosuch"}, false, "invalid arg:--nosuch index:2\n" + usage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const sim_run r = run_tool(c.args, SELECT_CONFIG);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(c.banner ? strip_banner(r.out) : r.out, c.out);
        EXPECT_TRUE(read_request_log(r.state_dir).empty());
    }
}

}  // namespace
}  // namespace e2e
