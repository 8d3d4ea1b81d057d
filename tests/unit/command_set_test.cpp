#include "command_set.h"

#include <sstream>
#include <tuple>

#include "test_support.h"

namespace {

using namespace test_support;

outcome parse(settings& s, std::vector<std::string> args) { return parse_with(build_opts(s).data(), args); }

TEST(command_set, table_is_well_formed) {
    settings s;
    const option_table t = build_opts(s);
    for (int i = 0; i < OPTION_ROWS; ++i) {
        ASSERT_TRUE(t[i].short_name && t[i].long_name && t[i].descripts && t[i].data) << "row " << i + 1;
        EXPECT_TRUE(*t[i].long_name && (t[i].conv_method != OPT_STRING || t[i].data_size > 1)) << "row " << i + 1;
    }
    EXPECT_TRUE(!t[OPTION_ROWS].short_name && !t[OPTION_ROWS].long_name) << "terminator";
}

TEST(command_set, options_fill_their_settings) {
    settings s;
    // -s is "si" and -d is "dev": the later rows "slot" and "dump" are reached
    // only by their long names. -pci reaches the PCI speed of image generation.
    const outcome o = parse(s, {"--slot", "b0:00.0", "-s", "a0:00.1", "-dump", "7", "-d", "eth1", "-pci", "gen2x3",
                                "-sn", "ABC123", "-pn", "", "-i", "2", "-ports", "0x4", "-an", "1", "-dp", "3",
                                "-vv", "-vvv", "-q", "-a", "-reset-cfg", "-v", "-led-show", "-none_prefetchable"});
    EXPECT_EQ(o.result, 31) << o.output;
    using t = std::string;
    EXPECT_EQ(std::tuple(t(s.in_pci_slot), t(s.si_str), s.datalen, t(s.dev_in), t(s.in_pci_speed), t(s.vdp_sn)),
              std::tuple("b0:00.0", "a0:00.1", 7, "eth1", "gen2x3", "ABC123"));
    EXPECT_EQ(std::tuple(s.vdp_sn_valid, s.vdp_pn_valid, s.vdp_pName_valid, s.nr_device, s.port_cnts_of_card,
                         s.in_an_en, s.dump_para),
              std::tuple(6, 0, -1, 2, 4, 1, 3));
    for (int flag : {s.verbose2, s.verbose3, s.be_quiet, s.in_all_device, s.do_reset_cfg})
        EXPECT_EQ(flag, 1);
}

TEST(command_set, usage_lists_the_46_visible_rows_in_order) {
    settings s;
    const outcome o = parse(s, {"-h"});
    EXPECT_EQ(std::pair(o.ended, o.status), std::pair(true, 0));
    std::istringstream lines(o.output);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 47u);
    EXPECT_EQ(rows[0], "Usage:");
    EXPECT_EQ(rows[1], "   v | verbose    \t \t        versbose descript");
    EXPECT_EQ(rows[5], "     | overwrite_all_usr_cfg \t \t        over write all usercfg data in flash with fw");
    EXPECT_EQ(rows[7], "   i | idx        <arg> \t        nr network device");
    EXPECT_EQ(rows[9], "     | pci        <arg> \t        set pci: ie gen2x3");
    EXPECT_EQ(rows[14], "     | pci        <arg> \t        pci");
    EXPECT_EQ(rows[45], "   s | slot       <arg> \t        find device by pci slot. ie: a0:00.1");
    EXPECT_EQ(rows[46], "   d | dump       <arg> \t        data len");
    for (const char* hidden : {"vv", "vvv", "si-show", "led-show", "pack_id-show", "lldp-show", "wol-show",
                               "force-state-show", "pxe", "eeprom", "dp", "none_prefetchable", "dumpcfg"})
        for (const auto& row : rows)
            EXPECT_EQ(row.find("| " + std::string(hidden) + " "), std::string::npos) << row;
}

}  // namespace
