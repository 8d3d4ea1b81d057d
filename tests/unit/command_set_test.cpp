#include "command_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exit_request.h"

namespace {

struct parsed {
    int result;
    std::string out;
};

parsed parse(settings& s, std::vector<std::string> args) {
    option_table opts = build_opts(s);
    args.insert(args.begin(), "kv7update_tool");
    std::vector<const char*> argv;
    for (auto& a : args)
        argv.push_back(a.c_str());
    testing::internal::CaptureStdout();
    parsed p{0, ""};
    try {
        p.result = parse_args(opts.data(), static_cast<int>(argv.size()), argv.data());
    } catch (const exit_request& e) {
        p.result = 1000 + e.status;
    }
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

TEST(command_set, table_is_well_formed) {
    settings s;
    option_table t = build_opts(s);
    for (int i = 0; i < OPTION_ROWS; ++i) {
        ASSERT_NE(t[i].long_name, nullptr) << "row " << i + 1;
        EXPECT_GT(std::strlen(t[i].long_name), 0u) << "row " << i + 1;
        ASSERT_NE(t[i].short_name, nullptr) << "row " << i + 1;
        ASSERT_NE(t[i].descripts, nullptr) << "row " << i + 1;
        ASSERT_NE(t[i].data, nullptr) << "row " << i + 1;
        if (t[i].conv_method == OPT_STRING) {
            EXPECT_GT(t[i].data_size, 1u) << t[i].long_name;
        }
    }
    EXPECT_EQ(t[OPTION_ROWS].short_name, nullptr);
    EXPECT_EQ(t[OPTION_ROWS].long_name, nullptr);
}

TEST(command_set, defaults) {
    settings s;
    EXPECT_STREQ(s.out_bin_f, "zelvo.fw.bin");
    EXPECT_EQ(s.nr_device, -1);
    EXPECT_EQ(s.dump_para, -1);
    EXPECT_EQ(s.in_an_en, -1);
    EXPECT_EQ(s.in_fec, -1);
    EXPECT_EQ(s.in_link_traing, -1);
    EXPECT_EQ(s.vdp_sn_valid, -1);
    EXPECT_EQ(s.vdp_pn_valid, -1);
    EXPECT_EQ(s.vdp_pName_valid, -1);
    EXPECT_EQ(static_cast<u8>(s.vdp_sn[0]), 0xFF);
    EXPECT_EQ(s.vdp_sn[1], 0);
    EXPECT_EQ(s.port_cnts_of_card, 0);
    EXPECT_EQ(s.dev_in[0], 0);
    EXPECT_EQ(s.in_all_device, 0);
}

TEST(command_set, shared_names_reach_the_first_row) {
    settings s;
    EXPECT_EQ(parse(s, {"-s", "a0:00.1"}).result, 3);
    EXPECT_STREQ(s.si_str, "a0:00.1");
    EXPECT_EQ(s.in_pci_slot[0], 0);

    settings t;
    EXPECT_EQ(parse(t, {"-slot", "a0:00.1", "--slot", "b0:00.0"}).result, 5);
    EXPECT_STREQ(t.in_pci_slot, "b0:00.0");
    EXPECT_EQ(t.si_str[0], 0);

    settings u;
    EXPECT_EQ(parse(u, {"-d", "eth1", "-dump", "7"}).result, 5);
    EXPECT_STREQ(u.dev_in, "eth1");
    EXPECT_EQ(u.datalen, 7);

    settings w;
    EXPECT_EQ(parse(w, {"-pci", "gen2x3"}).result, 3);
    EXPECT_STREQ(w.in_pci_speed, "gen2x3");
}

TEST(command_set, options_fill_their_settings) {
    settings s;
    auto p = parse(s, {"-vv", "-vvv", "-q", "-a", "-i", "2", "-sn", "ABC123", "-pn", "", "-ports", "0x4",
                       "-o", "out.bin", "-an", "1", "-dp", "3", "-mac", "00:11:22:33:44:55", "-led-show",
                       "-none_prefetchable", "-v", "-reset-cfg", "-si-p7", "1 2 3 4", "-eeprom", "img"});
    EXPECT_EQ(p.result, 29) << p.out;
    EXPECT_EQ(s.verbose2, 1);
    EXPECT_EQ(s.verbose3, 1);
    EXPECT_EQ(s.be_quiet, 1);
    EXPECT_EQ(s.in_all_device, 1);
    EXPECT_EQ(s.nr_device, 2);
    EXPECT_STREQ(s.vdp_sn, "ABC123");
    EXPECT_EQ(s.vdp_sn_valid, 6);
    EXPECT_EQ(s.vdp_pn_valid, 0);
    EXPECT_EQ(s.vdp_pName_valid, -1);
    EXPECT_EQ(s.port_cnts_of_card, 4);
    EXPECT_STREQ(s.out_bin_f, "out.bin");
    EXPECT_EQ(s.in_an_en, 1);
    EXPECT_EQ(s.dump_para, 3);
    EXPECT_STREQ(s.in_mac_addr, "00:11:22:33:44:55");
    EXPECT_EQ(s.do_reset_cfg, 1);
    EXPECT_STREQ(s.si_port(7), "1 2 3 4");
    EXPECT_STREQ(s.in_file_eeprom_name, "img");
}

TEST(command_set, over_long_texts_are_refused_with_their_room) {
    struct {
        const char* option;
        std::size_t room;  // characters, terminator excluded
    } cases[] = {{"-sn", 32}, {"-mac", 29}, {"-pci", 9}, {"-d", 99}, {"-fw", 199}, {"-led", 99}};
    for (const auto& c : cases) {
        settings s;
        EXPECT_EQ(parse(s, {c.option, std::string(c.room, 'x')}).result, 3) << c.option;
        settings t;
        auto p = parse(t, {c.option, std::string(c.room + 1, 'x')});
        EXPECT_EQ(p.result, -22) << c.option;
        EXPECT_EQ(p.out, "arg:" + std::string(c.option) + " value too long, at most " + std::to_string(c.room) +
                             " characters\n");
    }
}

TEST(command_set, usage_lists_the_46_visible_rows_in_order) {
    settings s;
    auto p = parse(s, {"-h"});
    EXPECT_EQ(p.result, 1000);
    std::istringstream lines(p.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 47u);
    EXPECT_EQ(rows[0], "Usage:");
    EXPECT_EQ(rows[1], "   v | verbose    \t \t        versbose descript");
    EXPECT_EQ(rows[2], "   l | list       \t \t        list deivces");
    EXPECT_EQ(rows[3], "   q | quiet      \t \t        quiet");
    EXPECT_EQ(rows[5], "     | overwrite_all_usr_cfg \t \t        over write all usercfg data in flash with fw");
    EXPECT_EQ(rows[7], "   i | idx        <arg> \t        nr network device");
    EXPECT_EQ(rows[9], "     | pci        <arg> \t        set pci: ie gen2x3");
    EXPECT_EQ(rows[14], "     | pci        <arg> \t        pci");
    EXPECT_EQ(rows[45], "   s | slot       <arg> \t        find device by pci slot. ie: a0:00.1");
    EXPECT_EQ(rows[46], "   d | dump       <arg> \t        data len");
    std::set<std::string> hidden = {"vv", "vvv", "si-show", "led-show", "pack_id-show", "lldp-show", "wol-show",
                                    "force-state-show", "pxe", "eeprom", "dp", "none_prefetchable", "dumpcfg"};
    for (const auto& row : rows) {
        for (const auto& name : hidden)
            EXPECT_EQ(row.find("| " + name + " "), std::string::npos) << row;
    }
}

}  // namespace
