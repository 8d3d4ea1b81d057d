// The settings as they land in a card's flash: each option's bytes at their place in the
// user record, the erase, the refusals that end a run before anything is saved, all cards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr char DONE[] = "writing flash.... Done\n";

struct patch {  // bytes to put at an offset of the record
    std::size_t at;
    std::vector<u8> bytes;
};
std::vector<u8> le32(std::initializer_list<u32> words) {
    record b(4 * words.size());
    for (std::size_t i = 0; u32 w : words)
        put_u32(b, 4 * i++, w);
    return b;
}
std::vector<u8> text32(std::string_view text) {
    record field(ucfg_at::text_len);
    put_text(field, 0, text);
    return field;
}
std::size_t mac(int slot) { return ucfg_at::macaddr + ucfg_at::mac_slot_len * static_cast<std::size_t>(slot); }
std::size_t si(int entry) { return ucfg_at::si + 4 * static_cast<std::size_t>(entry); }
record patched(record r, const std::vector<patch>& patches) {
    for (const patch& p : patches)
        put_bytes(r, p.at, p.bytes);
    return r;
}
struct row {
    tool_case c;
    std::vector<patch> patches;  // to the 4-port card's preset record; the other cards keep theirs
};
// A quiet run that must end at its check of `args`, after the load, with nothing saved.
row refused(std::vector<std::string> args, const std::string& out) {
    args.insert(args.begin(), "-q");
    return {{args, 255, out, "r3"}, {}};
}

const std::string LLDP_USAGE =
    " for lldp status ctrl:\n\t<lldp_status_port0> <lldp_status_port1> <lldp_status_port2> <lldp_status_port3>\n"
    "\tie: 0x0 0x0 0x0 0x0\n for lldp_status_ctrl notes:\n\t <disable:0>,<tx:1>,<rx:2>,<txrx:3>\n\n";
const std::string WOL_EN_USAGE =
    " for wol enable ctrl:\n\t<wol_en_port0> <wol_en_port1> <wol_en_port2> <wol_en_port3>\n\tie: 0x0 0x0 0x0 0x0\n"
    " for wol_en_ctrl notes:\n\t <disable:0>,<enable:1>\n\n";

TEST(Settings, EachRunLeavesTheRecordItShould) {
    const std::string a32(32, 'A'), b32(32, 'b'), c32(32, 'C'), mac10 = "02:00:00:00:00:10";
    const std::string p0 = "enp3s0f0 port0\n", p1 = "enp3s0f1 port1\n", p2 = "enp3s0f2 port2\n";
    const std::vector<u8> four_sets = {21, 0, 11, 11, 22, 0, 12, 12, 23, 0, 13, 13, 24, 0, 14, 14};
    const std::string saved = "r3 w3 r3";
    const row cases[] = {
        // Consecutive addresses, carried across bytes; bytes 6-7 of a slot kept.
        {{{"-q", "-i", "0", "-mac-p0", "02:00:00:00:00:fe", "-ports", "4"}, 0,
          p0 + "port0: 02:00:00:00:00:fe\nport1: 02:00:00:00:00:ff\nport2: 02:00:00:00:01:00\n"
               "port3: 02:00:00:00:01:01\n" + DONE, saved},
         {{mac(0), {2, 0, 0, 0, 0x00, 0xfe}}, {mac(1), {2, 0, 0, 0, 0x00, 0xff}},
          {mac(2), {2, 0, 0, 0, 0x01, 0x00}}, {mac(3), {2, 0, 0, 0, 0x01, 0x01}}}},
        // Fewer ports than the card has, from another port, no separators.
        {{{"-q", "-i", "3", "-mac-p0", "0A1B2C3D4E5F", "-ports", "2"}, 0,
          "enp3s0f3 port3\nport0: 0a:1b:2c:3d:4e:5f\nport1: 0a:1b:2c:3d:4e:60\n" + std::string(DONE), saved},
         {{mac(0), {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f}}, {mac(1), {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x60}}}},
        // The port's own -mac wins over -mac-p0.
        {{{"-q", "-i", "2", "-mac", "02-AA-bb:CC-dd-EE", "-mac-p0", mac10, "-ports", "4"}, 0,
          p2 + "port0: 02:00:00:00:00:10\nport1: 02:00:00:00:00:11\nport2: 02:00:00:00:00:12\n"
               "port3: 02:00:00:00:00:13\nport2: 02:aa:bb:cc:dd:ee\n" + DONE, saved},
         {{mac(0), {2, 0, 0, 0, 0, 0x10}}, {mac(1), {2, 0, 0, 0, 0, 0x11}},
          {mac(2), {2, 0xaa, 0xbb, 0xcc, 0xdd, 0xee}}, {mac(3), {2, 0, 0, 0, 0, 0x13}}}},
        {{{"-q", "-i", "0", "-sn", "", "-pn", "", "-pName", ""}, 0, p0 + DONE, saved},
         {{ucfg_at::sn, text32("")}, {ucfg_at::pn, text32("")}, {ucfg_at::pName, text32("")}}},
        // 32 characters fill a field without terminator.
        {{{"-q", "-i", "0", "-sn", a32, "-pn", b32, "-pName", c32}, 0, p0 + DONE, saved},
         {{ucfg_at::sn, text32(a32)}, {ucfg_at::pn, text32(b32)}, {ucfg_at::pName, text32(c32)}}},
        // One SI set for the selected port; per-port sets in any number base.
        {{{"-q", "-i", "2", "-si", "29 0 12 15", "-si-p0", "1 2 3 4", "-si-p1", "0x1d 010 0xc 0xf"}, 0, p2 + DONE,
          saved},
         {{si(0), {1, 2, 3, 4, 29, 8, 12, 15, 29, 0, 12, 15}}, {ucfg_at::si_valid_flags, le32({0x00000fff})}}},
        // Four sets: entries 4-7 for a port other than 0, entries 0-3 for
        // port 0 (here with a blank after each comma).
        {{{"-q", "-i", "1", "-s", "21 0 11 11,22 0 12 12,23 0 13 13,24 0 14 14", "-si-p0",
           "21 0 11 11, 22 0 12 12, 23 0 13 13, 24 0 14 14"}, 0, p1 + DONE, saved},
         {{si(0), four_sets}, {si(4), four_sets}, {ucfg_at::si_valid_flags, le32({0xffffffff})}}},
        {{{"-q", "-i", "0", "-si", "1 1 1 1", "-si-p0", "2 3 4 5"}, 0, p0 + DONE, saved},  // -si-p0 wins for port 0
         {{si(0), {2, 3, 4, 5}}, {ucfg_at::si_valid_flags, le32({0x0000000f})}}},
        // Every feature option at once, and the lane flags of the selected
        // port (link training, preset, left alone).
        {{{"-q", "-i", "1", "-led", "4746c442 3b9aca0 0x9e4f58 17d7840", "-lldp_status", "3 2 1 0", "-lldp_tx",
           "300 20 010 -1", "-wol_mode", "070 0x10 65535 -1", "-wol_en", "1 0 1 0", "-pack_id", "3 1 0 2",
           "-force_state", "2 0 1 -1", "-an", "5", "-fec", "0"}, 0, p1 + DONE, saved},
         {{ucfg_at::led_bitmap, le32({0x4746c442, 0x3b9aca0, 0x9e4f58, 0x17d7840})},
          {ucfg_at::lldp_admStatus, {3, 2, 1, 0}},  // low bytes; ports 4-7 kept
          {ucfg_at::lldp_txIntval, {44, 20, 8, 0xff}},
          {ucfg_at::wol_info, le32({56, 1, 16, 0, 65535, 1, 0xffffffff, 0})},
          {ucfg_at::pack_id, {3, 1, 0, 2}},
          {ucfg_at::force_status, le32({2, 0, 1, 0xffffffff})},
          {ucfg_at::fun_valid + 1, {0x07}},    // an and fec marked set
          {ucfg_at::fun_flags + 1, {0x03}}}},  // an on, fec off
        // The erase leaves 480 bytes of 0xFF, read back once: the defaults loaded are not saved.
        {{{"-q", "-i", "0", "-reset-cfg"}, 0, p0 + "reset_ucfg_mac_sn\n" + DONE, "w3 r3 r3"},
         {{0, std::vector<u8>(USER_RECORD_SZ, 0xff)}}},
        // With a setter: the default record plus the change, MAC slots erased.
        {{{"-q", "-i", "0", "-reset-cfg", "-sn", "X"}, 0, p0 + "reset_ucfg_mac_sn\n" + DONE + DONE, "w3 r3 r3 w3 r3"},
         {{0, reset_user_record()}, {ucfg_at::sn, text32("X")}}},
        // Refused: the run ends, nothing saved. The help text's commas are not separators.
        refused({"-i", "0", "-lldp_status", "1,2,3,0"}, p0 + "invalid lldp status input[1,2,3,0]: Usage:\n" + LLDP_USAGE),
        // An earlier batch already changed the record in memory.
        refused({"-i", "0", "-sn", "NEW", "-lldp_tx", "1 1 1 1", "-wol_en", "1 2"},
                p0 + "invalid en mode input[1 2]: Usage:\n" + WOL_EN_USAGE),
        refused({"-i", "0", "-mac", "01:00:00:00:00:00"},
                p0 + "mac-addr should not be zero/broadcase/group\ninvalid mac-addr:[01:00:00:00:00:00]\n"),
        refused({"-i", "0", "-mac-p0", "02:00:00:00:00", "-ports", "1"}, p0 + "invalid macaddr:[02:00:00:00:00]\n"),
        // The port count must fit the selected card.
        refused({"-i", "0", "-sn", "NEW", "-mac-p0", mac10, "-ports", "5"}, p0 + "ports param is must 1 to 4 \n"),
        refused({"-i", "5", "-mac-p0", mac10, "--ports", "3"}, "enp4s0f1 port1\nports param is must 1 to 2 \n"),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.c.args));
        preset_cards cards;
        expect_run(cards, c.c);
        expect_flash_holds(cards, CARD4, patched(sample_user_record(CARD4.sn), c.patches));
        expect_flash_holds(cards, CARD2, sample_user_record(CARD2.sn));
        expect_flash_holds(cards, CARD1, sample_user_record(CARD1.sn));
    }
}

TEST(Settings, AllCardsGetTheSameSettingsUntilOneRefuses) {
    preset_cards cards;
    const std::string two_ports = "port0: 02:00:00:00:00:10\nport1: 02:00:00:00:00:11\n";
    // The 1-port card cannot take two ports: the run stops there, before its save.
    expect_run(cards, {{"-q", "-a", "-sn", "ALL-CARDS-1", "-mac-p0", "02:00:00:00:00:10", "-ports", "2"}, 255,
                       "get 3 device info\nenp3s0f0 port0\n" + two_ports + DONE + "enp4s0f0 port0\n" + two_ports +
                           DONE + "enp5s0 port0\nports param is must 1 to 1 \n", "r3 w3 r3 r3 w3 r3 r3"});
    const std::vector<patch> set = {
        {mac(0), {2, 0, 0, 0, 0, 0x10}}, {mac(1), {2, 0, 0, 0, 0, 0x11}}, {ucfg_at::sn, text32("ALL-CARDS-1")}};
    for (const card* c : {&CARD4, &CARD2})
        expect_flash_holds(cards, *c, patched(sample_user_record(c->sn), set));
    expect_flash_holds(cards, CARD1, sample_user_record(CARD1.sn));
}

}  // namespace
}  // namespace e2e
