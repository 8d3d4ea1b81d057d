// The settings as they land in a card's flash: each option's bytes at their
// place in the user record, the refusals that end a run before anything is
// saved, all cards at once, the file-backed road and the erase.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "sim_harness.h"

namespace e2e {
namespace {

// The built-in controllers: a 4-port card (enp3s0f0..3, positions 0-3), a
// 2-port card of two functions (enp4s0f0, enp4s0f1, positions 4-5) and the
// 1-port card with the kv3 layout (enp5s0, position 6).
struct card {
    const char* addr;
    flash_layout layout;
    const char* sn;
};
const card CARD4 = {"0000:03:00.0", flash_layout::standard, "ZS4P0300OLD"};
const card CARD2 = {"0000:04:00.0", flash_layout::standard, "ZS2P0400OLD"};
const card CARD1 = {"0000:05:00.0", flash_layout::kv3, "ZS1P0500OLD"};
const card* const ALL_CARDS[] = {&CARD4, &CARD2, &CARD1};

constexpr char DONE[] = "writing flash.... Done\n";

using record = std::vector<u8>;

// A valid record with something in every field; no SI value flagged yet, so
// every flag a run sets shows.
record preset_record(const card& c) {
    record r = sample_user_record(c.sn);
    put_u32(r, ucfg_at::si_valid_flags, 0);
    return r;
}

// Every card's flash preset to a known image, so every expected byte comes
// from the test and not from the simulator's factory content.
struct preset_cards {
    temp_dir state;
    preset_cards() {
        for (const card* c : ALL_CARDS)
            write_flash_image(state.path(), c->addr, image_of(*c, preset_record(*c)));
    }
    static std::vector<u8> image_of(const card& c, const record& r) {
        return patterned_image(flash_size(c.layout), user_record_offset(c.layout), r);
    }
    std::vector<u8> image_now(const card& c) const { return read_flash_image(state.path(), c.addr); }
};

// The card's whole flash must be its preset image with `want` as the record.
void expect_flash_holds(const preset_cards& cards, const card& c, const record& want) {
    const std::vector<u8> now = cards.image_now(c);
    ASSERT_EQ(now.size(), flash_size(c.layout)) << c.addr;
    EXPECT_EQ(byte_diff(user_record(now, c.layout), want), "") << c.addr << ": user record";
    std::vector<u8> outside = now;
    put_user_record(outside, c.layout, want);
    EXPECT_TRUE(outside == preset_cards::image_of(c, want)) << c.addr << ": bytes outside the record changed";
}

void put_mac(record& r, int slot, std::vector<u8> address) {
    put_bytes(r, ucfg_at::macaddr + static_cast<std::size_t>(slot) * ucfg_at::mac_slot_len, address);
}
void put_si(record& r, int entry, std::vector<u8> main_pre_post_boost) {
    put_bytes(r, ucfg_at::si + 4 * static_cast<std::size_t>(entry), main_pre_post_boost);
}

struct setting_case {
    const char* what;
    std::vector<std::string> args;  // after -q
    std::string out;                // between the device line and the save
    std::function<void(record&)> edit;
};

TEST(Settings, EachOptionLandsAtItsPlaceInTheRecord) {
    const std::string a32(32, 'A'), b32(32, 'b'), c32(32, 'C');
    const std::string four_sets = "21 0 11 11,22 0 12 12,23 0 13 13,24 0 14 14";
    const auto four_lanes = [](record& r, int first_entry) {
        for (u8 i = 0; i < 4; ++i)
            put_si(r, first_entry + i, {static_cast<u8>(21 + i), 0, static_cast<u8>(11 + i), static_cast<u8>(11 + i)});
    };
    const setting_case cases[] = {
        {"mac-p0 on all four ports: consecutive addresses, bytes 6-7 of a slot kept",
         {"-i", "0", "-mac-p0", "02:00:00:00:00:fe", "-ports", "4"},
         "port0: 02:00:00:00:00:fe\nport1: 02:00:00:00:00:ff\nport2: 02:00:00:00:01:00\nport3: 02:00:00:00:01:01\n",
         [](record& r) {
             put_mac(r, 0, {0x02, 0, 0, 0, 0x00, 0xfe});
             put_mac(r, 1, {0x02, 0, 0, 0, 0x00, 0xff});
             put_mac(r, 2, {0x02, 0, 0, 0, 0x01, 0x00});
             put_mac(r, 3, {0x02, 0, 0, 0, 0x01, 0x01});
         }},
        {"mac-p0 on fewer ports than the card has, from another port",
         {"-i", "3", "-mac-p0", "0A1B2C3D4E5F", "-ports", "2"},
         "port0: 0a:1b:2c:3d:4e:5f\nport1: 0a:1b:2c:3d:4e:60\n",
         [](record& r) {
             put_mac(r, 0, {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f});
             put_mac(r, 1, {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x60});
         }},
        {"the port's own -mac wins over -mac-p0",
         {"-i", "2", "-mac", "02-AA-bb:CC-dd-EE", "-mac-p0", "02:00:00:00:00:10", "-ports", "4"},
         "port0: 02:00:00:00:00:10\nport1: 02:00:00:00:00:11\nport2: 02:00:00:00:00:12\n"
         "port3: 02:00:00:00:00:13\nport2: 02:aa:bb:cc:dd:ee\n",
         [](record& r) {
             put_mac(r, 0, {0x02, 0, 0, 0, 0, 0x10});
             put_mac(r, 1, {0x02, 0, 0, 0, 0, 0x11});
             put_mac(r, 2, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee});
             put_mac(r, 3, {0x02, 0, 0, 0, 0, 0x13});
         }},
        {"sn", {"-i", "0", "-sn", "ABC123"}, "", [](record& r) { put_text(r, ucfg_at::sn, "ABC123"); }},
        {"empty texts clear their fields",
         {"-i", "0", "-sn", "", "-pn", "", "-pName", ""},
         "",
         [](record& r) {
             put_text(r, ucfg_at::sn, "");
             put_text(r, ucfg_at::pn, "");
             put_text(r, ucfg_at::pName, "");
         }},
        {"32-character texts fill their fields without terminator",
         {"-i", "0", "-sn", a32, "-pn", b32, "-pName", c32},
         "",
         [&](record& r) {
             put_text(r, ucfg_at::sn, a32);
             put_text(r, ucfg_at::pn, b32);
             put_text(r, ucfg_at::pName, c32);
         }},
        {"one SI set for the selected port",
         {"-i", "2", "-si", "29 0 12 15"},
         "",
         [](record& r) {
             put_si(r, 2, {29, 0, 12, 15});
             put_u32(r, ucfg_at::si_valid_flags, 0x00000f00);
         }},
        {"four SI sets for a port other than 0 go to entries 4-7",
         {"-i", "1", "-s", four_sets},
         "",
         [&](record& r) {
             four_lanes(r, 4);
             put_u32(r, ucfg_at::si_valid_flags, 0xffff0000);
         }},
        {"per-port SI, one set each, any number base",
         {"-i", "3", "-si-p0", "1 2 3 4", "-si-p1", "0x1d 010 0xc 0xf"},
         "",
         [](record& r) {
             put_si(r, 0, {1, 2, 3, 4});
             put_si(r, 1, {29, 8, 12, 15});
             put_u32(r, ucfg_at::si_valid_flags, 0x000000ff);
         }},
        {"per-port SI with four sets for port 0, a blank after each comma",
         {"-i", "3", "-si-p0", "21 0 11 11, 22 0 12 12, 23 0 13 13, 24 0 14 14"},
         "",
         [&](record& r) {
             four_lanes(r, 0);
             put_u32(r, ucfg_at::si_valid_flags, 0x0000ffff);
         }},
        {"-si-p0 wins over -si for port 0",
         {"-i", "0", "-si", "1 1 1 1", "-si-p0", "2 3 4 5"},
         "",
         [](record& r) {
             put_si(r, 0, {2, 3, 4, 5});
             put_u32(r, ucfg_at::si_valid_flags, 0x0000000f);
         }},
        {"led words, hexadecimal without prefix",
         {"-i", "0", "-led", "4746c442 3b9aca0 0x9e4f58 17d7840"},
         "",
         [](record& r) {
             put_u32(r, ucfg_at::led_bitmap + 0, 0x4746c442);
             put_u32(r, ucfg_at::led_bitmap + 4, 0x3b9aca0);
             put_u32(r, ucfg_at::led_bitmap + 8, 0x9e4f58);
             put_u32(r, ucfg_at::led_bitmap + 12, 0x17d7840);
         }},
        {"lldp status and interval, low bytes stored, ports 4-7 kept",
         {"-i", "0", "-lldp_status", "3 2 1 0", "-lldp_tx", "300 20 010 -1"},
         "",
         [](record& r) {
             put_bytes(r, ucfg_at::lldp_admStatus, {3, 2, 1, 0});
             put_bytes(r, ucfg_at::lldp_txIntval, {44, 20, 8, 0xff});
         }},
        {"wol mode and enable",
         {"-i", "0", "-wol_mode", "070 0x10 65535 -1", "-wol_en", "1 0 1 0"},
         "",
         [](record& r) {
             const u32 mode[] = {56, 16, 65535, 0xffffffff}, en[] = {1, 0, 1, 0};
             for (std::size_t p = 0; p < 4; ++p) {
                 put_u32(r, ucfg_at::wol_info + 8 * p, mode[p]);
                 put_u32(r, ucfg_at::wol_info + 8 * p + 4, en[p]);
             }
         }},
        {"pack id pins", {"-i", "0", "-pack_id", "3 1 0 2"}, "",
         [](record& r) { put_bytes(r, ucfg_at::pack_id, {3, 1, 0, 2}); }},
        {"force state",
         {"-i", "0", "-force_state", "2 0 1 -1"},
         "",
         [](record& r) {
             const u32 state[] = {2, 0, 1, 0xffffffff};
             for (std::size_t p = 0; p < 4; ++p)
                 put_u32(r, ucfg_at::force_status + 4 * p, state[p]);
         }},
        {"lane flags of the selected port",
         {"-i", "1", "-an", "5", "-fec", "0"},
         "",
         [](record& r) {
             r[ucfg_at::fun_valid + 1] = 0x05;  // an and fec marked set
             r[ucfg_at::fun_flags + 1] = 0x01;  // an on, fec off
         }},
    };
    for (const setting_case& c : cases) {
        SCOPED_TRACE(c.what);
        preset_cards cards;
        std::vector<std::string> args = {"-q"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const sim_run r = run_tool(args, "", cards.state.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string port = c.args[1];
        EXPECT_EQ(r.out, "enp3s0f" + port + " port" + port + "\n" + c.out + DONE);

        record want = preset_record(CARD4);
        c.edit(want);
        expect_flash_holds(cards, CARD4, want);
        const std::vector<logged_request> writes = writes_in(read_request_log(cards.state.path()));
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].iface, "enp3s0f" + port);
        EXPECT_EQ(writes[0].part, 3);
        EXPECT_EQ(writes[0].req_data_bytes, 480);
        EXPECT_EQ(writes[0].crc32, payload_crc32(want));
    }
}

const std::string LED_USAGE =
    " for led ctrl:\n\t<led_ctrl> <act_tmout> <blk_thre_h> <blk_thre_low>\n\tie: 0x4746c442 0x3b9aca0 0x9e4f58 "
    "0x17d7840\n for led_ctrl notes:\n\t <led3_mode:0x47>,<led2_mode:0x46>,<led1_mode:0xc4>,<led0_mode:0x42>\n\t\t"
    "mode_info: <0x47:1000M> <0x46:100M> <0xc4:ACT, -p blink> <0x42:LINK>\n\n";
const std::string LLDP_STATUS_USAGE =
    " for lldp status ctrl:\n\t<lldp_status_port0> <lldp_status_port1> <lldp_status_port2> <lldp_status_port3>\n"
    "\tie: 0x0 0x0 0x0 0x0\n for lldp_status_ctrl notes:\n\t <disable:0>,<tx:1>,<rx:2>,<txrx:3>\n\n";
const std::string WOL_EN_USAGE =
    " for wol enable ctrl:\n\t<wol_en_port0> <wol_en_port1> <wol_en_port2> <wol_en_port3>\n\tie: 0x0 0x0 0x0 0x0\n"
    " for wol_en_ctrl notes:\n\t <disable:0>,<enable:1>\n\n";
const std::string SI_USAGE =
    " for 1/10G:\n\t<main> <pre> <post> <boost>\n\tie: 29 0 12 15\n for 25/40G:\n\t "
    "<lane0_si>,<lane1_si>,<lane2_si>,<lane3_si>\n\t\tlaneX_si: <main> <pre> <post> <boost>\n\n\t\tie: 21 0 11 "
    "11,22 0 12 12,23 0 13 13,24 0 14 14 \n\t\t lane0:  21 0 11 11\n\t\t lane1:  22 0 12 12\n\t\t lane2:  23 0 13 "
    "13\n\t\t lane3:  24 0 14 14\n";

// Runs that must end with status 255 having loaded the record of the
// 4-port card's port 0 and written nothing.
struct refused_case {
    std::vector<std::string> args;  // after -q -i 0
    std::string out;                // after the device line
};

void expect_refused(const std::vector<refused_case>& cases) {
    for (const refused_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        preset_cards cards;
        std::vector<std::string> args = {"-q", "-i", "0"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const sim_run r = run_tool(args, "", cards.state.path());
        EXPECT_EQ(r.status, 255) << r.err;
        EXPECT_EQ(r.out, "enp3s0f0 port0\n" + c.out);
        const std::vector<logged_request> log = read_request_log(cards.state.path());
        ASSERT_EQ(log.size(), 1u) << "only the load";
        EXPECT_EQ(log[0].cmd, 0);
        expect_flash_holds(cards, CARD4, preset_record(CARD4));
    }
}

TEST(Settings, MalformedOptionEndsTheRunWithNothingSaved) {
    expect_refused({
        {{"-lldp_status", "1 2 3"}, "invalid lldp status input[1 2 3]: Usage:\n" + LLDP_STATUS_USAGE},
        // The help text's commas are not separators.
        {{"-led", "1,2,3,4"}, "invalid led input[1,2,3,4]: Usage:\n" + LED_USAGE},
        // An earlier batch already changed the record in memory.
        {{"-sn", "NEW", "-lldp_tx", "1 1 1 1", "-wol_en", "1 2"},
         "invalid en mode input[1 2]: Usage:\n" + WOL_EN_USAGE},
        {{"-si", "64 0 0 0"}, "invalid main:64\n"},
        {{"-si", "1 2 3 16"}, "invalid boost:16 in:[1 2 3 16]\n"},
        {{"-si-p0", "1 2 3 4,5 6 7 8"}, "invalid si input[1 2 3 4,5 6 7 8]: Usage:\n" + SI_USAGE},
        {{"-mac", "01:00:00:00:00:00"},
         "mac-addr should not be zero/broadcase/group\ninvalid mac-addr:[01:00:00:00:00:00]\n"},
        {{"-mac", "02:00:00:00:00:5g"}, "invalid mac-addr:[02:00:00:00:00:5g]\n"},
        {{"-mac-p0", "02:00:00:00:00", "-ports", "1"}, "invalid macaddr:[02:00:00:00:00]\n"},
    });
}

TEST(Settings, PortCountOutOfRangeIsRefusedBeforeAnyWrite) {
    const std::string mac = "02:00:00:00:00:10";
    struct {
        const char* index;
        const char* iface_line;
        std::vector<std::string> ports;  // the -ports option, if any
        int max;
    } const cases[] = {
        {"0", "enp3s0f0 port0\n", {"-ports", "5"}, 4},
        {"0", "enp3s0f0 port0\n", {}, 4},
        {"4", "enp4s0f0 port0\n", {"-ports", "3"}, 2},
        {"5", "enp4s0f1 port1\n", {"--ports", "3"}, 2},
        {"6", "enp5s0 port0\n", {"-ports", "2"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("-i ") + c.index + " " + testing::PrintToString(c.ports));
        temp_dir state;
        std::vector<std::string> args = {"-q", "-i", c.index, "-sn", "NEW", "-mac-p0", mac};
        args.insert(args.end(), c.ports.begin(), c.ports.end());
        const sim_run r = run_tool(args, "", state.path());
        EXPECT_EQ(r.status, 255) << r.err;
        EXPECT_EQ(r.out, std::string(c.iface_line) + "ports param is must 1 to " + std::to_string(c.max) + " \n");
        EXPECT_TRUE(writes_in(read_request_log(state.path())).empty());
    }
}

TEST(Settings, AllCardsReceiveTheSameSettings) {
    preset_cards cards;
    const sim_run r = run_tool({"-q", "-a", "-sn", "ALL-CARDS-1", "-lldp_tx", "1 2 3 4"}, "", cards.state.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, std::string("get 3 device info\n") + "enp3s0f0 port0\n" + DONE + "enp4s0f0 port0\n" + DONE +
                         "enp5s0 port0\n" + DONE);
    for (const card* c : ALL_CARDS) {
        record want = preset_record(*c);
        put_text(want, ucfg_at::sn, "ALL-CARDS-1");
        put_bytes(want, ucfg_at::lldp_txIntval, {1, 2, 3, 4});
        expect_flash_holds(cards, *c, want);
    }
}

TEST(Settings, AllCardsStopAtTheFirstCardThatRefusesNothingRolledBack) {
    preset_cards cards;
    const sim_run r =
        run_tool({"-q", "-a", "-mac-p0", "02:00:00:00:00:10", "-ports", "2"}, "", cards.state.path());
    EXPECT_EQ(r.status, 255) << r.err;
    const std::string two_ports = "port0: 02:00:00:00:00:10\nport1: 02:00:00:00:00:11\n";
    EXPECT_EQ(r.out, "get 3 device info\nenp3s0f0 port0\n" + two_ports + DONE + "enp4s0f0 port0\n" + two_ports +
                         DONE + "enp5s0 port0\nports param is must 1 to 1 \n");
    for (const card* c : {&CARD4, &CARD2}) {
        record want = preset_record(*c);
        put_mac(want, 0, {0x02, 0, 0, 0, 0, 0x10});
        put_mac(want, 1, {0x02, 0, 0, 0, 0, 0x11});
        expect_flash_holds(cards, *c, want);
    }
    expect_flash_holds(cards, CARD1, preset_record(CARD1));
    for (const logged_request& w : writes_in(read_request_log(cards.state.path())))
        EXPECT_NE(w.iface, "enp5s0") << w.line;
}

TEST(Settings, EepromFileTakesNoWrites) {
    temp_dir files;
    const std::string eeprom = files.path() + "/card.bin";
    const std::vector<u8> image = preset_cards::image_of(CARD4, preset_record(CARD4));
    {
        temp_dir state;
        write_flash_image(state.path(), CARD4.addr, image);
        std::filesystem::copy_file(flash_image_path(state.path(), CARD4.addr), eeprom);
    }
    struct {
        std::vector<std::string> args;  // after -q -eeprom FILE
        int status;
        std::string out;
    } const cases[] = {
        // Written, read back unchanged, three times.
        {{"-sn", "NEW"}, 255, "fake port0\nflash write faild!\n"},
        // This road knows no port count.
        {{"-mac-p0", "02:00:00:00:00:10", "-ports", "4"}, 255, "fake port0\nports param is must 1 to 0 \n"},
        // Nothing to save: the record is only loaded; the list option is ignored.
        {{"-l"}, 0, "fake port0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args = {"-q", "-eeprom", eeprom};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const sim_run r = run_tool(args, "");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(read_request_log(r.state_dir).empty()) << "no card is touched";
        EXPECT_TRUE(read_file_bytes(eeprom) == image) << "the file is never written";
    }
}

TEST(Settings, ResetCfgThenSettersSaveTheDefaultRecordPlusTheChange) {
    struct {
        std::vector<std::string> args;  // after -q -i 0 -reset-cfg
        std::string out;                // printed by the setters
        std::function<void(record&)> edit;
    } const cases[] = {
        {{"-sn", "X"}, "", [](record& r) { put_text(r, ucfg_at::sn, "X"); }},
        // Bytes 6-7 of the written slot stay as the erase left them.
        {{"-mac-p0", "02:00:00:00:00:20", "-ports", "1"},
         "port0: 02:00:00:00:00:20\n",
         [](record& r) { put_mac(r, 0, {0x02, 0, 0, 0, 0, 0x20}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        preset_cards cards;
        std::vector<std::string> args = {"-q", "-i", "0", "-reset-cfg"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const sim_run r = run_tool(args, "", cards.state.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, "enp3s0f0 port0\nreset_ucfg_mac_sn\n" + std::string(DONE) + c.out + DONE);

        record want = reset_user_record();
        c.edit(want);
        expect_flash_holds(cards, CARD4, want);
        const std::vector<logged_request> writes = writes_in(read_request_log(cards.state.path()));
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].crc32, payload_crc32(std::vector<u8>(480, 0xff))) << "the erase";
        EXPECT_EQ(writes[1].crc32, payload_crc32(want));
    }
}

}  // namespace
}  // namespace e2e
