#include "report/ucfg_dumps.h"

#include "report_flash.h"

namespace {

using namespace test_support;
using namespace std::string_literals;

// Set and unset values side by side on a two-port card; entries beyond port 1 set.
ucfg_mac_sn sample() {
    ucfg_mac_sn r = reset_record();
    for (int i = 0; i < MAX_PORTS; ++i) {
        std::memcpy(r.macaddr[i], "\x00\x1b\x21\xaa\xbb", 5);
        r.macaddr[i][5] = static_cast<u8>(i + 1);
        r.si[i] = {static_cast<u8>(20 + i), 0, 12, 15};
        r.lldp_admStatus[i] = 3, r.lldp_txIntval[i] = 30, r.force_status[i] = 1, r.wol_info[i] = {5, 1};
    }
    std::memcpy(r.sn, "AB\0CD", 5);  // zero-padded: all 32 bytes printed
    std::memset(r.pn, 0xff, UCFG_TEXT_LEN);
    std::memcpy(r.pn, "PN-7", 4);
    std::memcpy(r.pName, "Zelvo 2P", 8);
    r.si_valid_flags = 0xf, r.si[1] = {0xff, 1, 2, 3};
    r.lldp_txIntval[0] = 0xff, r.lldp_admStatus[1] = 0xff;
    r.wol_info[0].wol_mode = -1, r.wol_info[1] = {0x10, -1};
    r.force_status[0] = 2, r.force_status[1] = -1;
    r.pcfg.v = 0x1ad;  // valid 5, force 1, preset 13
    r.led_bitmap = {0x4746c442, 0x3b9aca0, 0x9e4f58, 0x17d7840};
    r.pack_id[0] = {3, 0xff}, r.pack_id[1] = {0xff, 2};
    return r;
}

const std::string SI = "si_valid:0x000000000000000f\nlane  : main  pre  post boost\n"
                       "port0:   20    0   12   15\nport1:    -    -    -    -\n";
const std::string LLDP_ROWS = "port0:     3     -\nport1:     -    30 \n";
const std::string FORCE_ROWS = "port0:        2\nport1:        -\n";
const std::string WOL = "wol  : enable  mode\nport0:      1      -\nport1:      -     16 \n";
std::string pack_id_table(const std::string& row) {
    return "pack_id  : group  pin\n" + row + "0:      3      -\n" + row + "1:      -      2 \n";
}

TEST(UcfgDumps, EachDumpOfATwoPortCard) {
    const std::string full =
        "0 00:1b:21:aa:bb:01\n1 00:1b:21:aa:bb:02\n\nmagic: 0x87654321\nsn:4142004344" + std::string(54, '0') +
        "\n   AB\0CD"s + std::string(27, '\0') + "\npn:504e2d37" + std::string(56, 'f') + "\n   PN-7\n" + SI +
        "\nlldp  : status  txIntval\n" + LLDP_ROWS + "\n" + WOL + "\nforce state: enable\n" + FORCE_ROWS +
        "\npcfg:0x081ad\npcfg-valid:0x5, force_1g:1 preset:13\n"
        "\nled_ctrl:0x4746c442, act_tmout:0x3b9aca0, blk_thre_h:0x9e4f58, blk_thre_l:0x17d7840\n"
        "\npName:5a656c766f203250" + std::string(48, '0') + "\nZelvo 2P" + std::string(24, '\0') + "\n" +
        pack_id_table("id") + "\n";
    const struct { result (*dump)(flash_access&, const eth_dev*); std::string out; } rows[] = {
        {do_dump_ucfg_mac_sn, full},
        {do_dump_ucfg_si, SI},
        {do_dump_ucfg_lldp, "lldp  : status  txVal\n" + LLDP_ROWS},
        {do_dump_ucfg_wol, WOL},
        {do_dump_ucfg_force_state, "force state: enable \n" + FORCE_ROWS},
        {do_dump_ucfg_pack_id, pack_id_table("port")},
    };
    for (const auto& c : rows) {
        report_flash k(KV9_2_PORT_DEV);
        k.parts[PART_MAC_ADDR] = bytes_of(sample());
        EXPECT_EQ(run([&] { c.dump(k, &k.dev); }).output, c.out);
        // Unreadable: a zeroed record, magic 0, and the run ends.
        k.failing = PART_MAC_ADDR;
        const outcome o = run([&] { return c.dump(k, &k.dev); });
        EXPECT_EQ(std::pair(o.output, o.status),
                  std::pair("io eeprom error!"s + (c.dump == do_dump_ucfg_mac_sn ? "invalid ma-sn part"
                                                                                 : "invalid user cfg part") +
                                "magic: 00000000", -1));
    }
}

}  // namespace
