// The shows and dumps as operators' scripts read them, whole outputs compared: every one
// on each built-in card and on an image file, their place before the save, faulty cards.
// None of them changes the flash.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "flash_store.h"

namespace e2e {
namespace {

const std::vector<std::string> EVERY_REPORT = {"-dump0", "-dumpcfg", "-si-show", "-sn-show", "-pn-show",
                                               "-lldp-show", "-wol-show", "-pName-show", "-mac-show",
                                               "-pack_id-show", "-force-state-show", "-fw-version"};

std::string table_rows(int n, const std::string& label, const std::string& cells) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += label + std::to_string(i) + ":" + cells + "\n";
    return s;
}
std::string text_dump(const std::string& label, const std::string& indent, const std::string& text) {
    std::string hex;
    for (std::size_t i = 0; i < 32; ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", i < text.size() ? static_cast<u8>(text[i]) : 0);
        hex += b;
    }
    return label + hex + "\n" + indent + text + std::string(32 - text.size(), '\0') + "\n";
}
// EVERY_REPORT on a record holding no settings, addresses `mac_base` + port, zero-padded texts.
std::string every_report(int ports, const std::string& mac_base, const std::string& sn, const std::string& pn,
                         const std::string& pName, const std::string& factory, const std::string& versions) {
    std::string macs;
    for (int i = 0; i < ports; ++i)
        macs += std::to_string(i) + " " + mac_base + (mac_base.size() < 17 ? std::to_string(i) : "") + "\n";
    const std::string si = "si_valid:0x0000000000000000\nlane  : main  pre  post boost\n" +
                           table_rows(ports, "port", "    -    -    -    -");
    const std::string lldp = table_rows(ports, "port", "     -     -"), force = table_rows(ports, "port", "        -");
    const std::string wol = "wol  : enable  mode\n" + table_rows(ports, "port", "      -      -");
    return macs + "\nmagic: 0x87654321\n" + text_dump("sn:", "   ", sn) + text_dump("pn:", "   ", pn) + si +
           "\nlldp  : status  txIntval\n" + lldp + "\n" + wol + "\nforce state: enable\n" + force +
           "\npcfg:0x080\npcfg-valid:0x0, force_1g:0 preset:0\n"
           "\nled_ctrl:0x0, act_tmout:0x0, blk_thre_h:0x0, blk_thre_l:0x0\n\n" + text_dump("pName:", "", pName) +
           "pack_id  : group  pin\n" + table_rows(2, "id", "      -      -") + "\n" +  // end of -dump0
           factory + si + "sn: " + sn + "\npn: " + pn + "\nlldp  : status  txVal\n" + lldp + wol + "pName: " +
           pName + "\n" + macs + "pack_id  : group  pin\n" + table_rows(2, "port", "      -      -") +
           "force state: enable \n" + force + versions;
}
// -dumpcfg of the simulator's factory record (PHYs of the card's ports set), or of erased flash.
std::string factory_dump(const std::string& csum, const std::string& dev, int phys) {
    const std::string set =
        "    speed:10000 lane_mask:1 main:ffffffff pre:ffffffff post:ffffffff boost:0000-0000-0000-0000\n";
    const std::string zero =
        "    speed:0 lane_mask:0 main:00000000 pre:00000000 post:00000000 boost:0000-0000-0000-0000\n";
    return "magic:0x00010cf9 csum:0x" + csum + " len:1428 version:00000006\n\npci: gen3x8  pf0:" + dev +
           " pf1:" + dev + " subsys:8848:" + dev + " pci-disable-\n     uid:0000 preset:7\n"
           "     no-bar0- no-bar2- nobar4- novf- novfbar0- novfbar2- novfbar4-\n"
           "     rpu- pxe+ pxe-efi- none-pretchable-  kv6- fastlink- enable_8MB-\nphy0\n" + set + "phy1\n" +
           (phys > 1 ? set : zero);
}
const std::string ERASED_PHY =
    "    speed:-1 lane_mask:ff main:ffffffff pre:ffffffff post:ffffffff boost:ffff-ffff-ffff-ffff\n";
const std::string ERASED_FACTORY =
    "magic:0xffffffff csum:0xffffffff len:65535 version:0000ffff\n\n"
    "pci: gen255x255  pf0:ffff pf1:ffff subsys:ffff:ffff pci-disable+\n     uid:ffff preset:15\n"
    "     no-bar0+ no-bar2+ nobar4+ novf+ novfbar0+ novfbar2+ novfbar4+\n"
    "     rpu+ pxe+ pxe-efi+ none-pretchable+  kv6+ fastlink+ enable_8MB+\nphy0\n" + ERASED_PHY + "phy1\n" + ERASED_PHY;

std::vector<std::vector<u8>> flash_files(const std::string& state) {
    std::vector<std::vector<u8>> all;
    for (const card* c : {&CARD4, &CARD2, &CARD1})
        all.push_back(read_file_bytes(zsim::flash_file_path(state, c->addr)));
    return all;
}

TEST(Reports, EveryShowAndDumpOnEachBuiltInCardAndAnImageFile) {
    temp_dir dir;
    const std::string file = dir.path() + "/erased.bin";
    write_file_bytes(file, std::vector<u8>(0xCA000, 0xff));
    const std::string v163 = " FW\t: 1.6.3.0\n PXE\t: 2.1.4\n";
    const struct { std::vector<std::string> select; int status; std::string out; } runs[] = {
        {{"-i", "0"}, 0,
         "enp3s0f0 port0\n" + every_report(4, "02:5a:e1:03:00:0", "ZS4P0300A17", "ZSIM-8308", "zelnic-sim 4-port",
                                           factory_dump("f43ff59a", "8308", 4), v163)},
        {{"-i", "4"}, 0,
         "enp4s0f0 port0\n" + every_report(2, "02:5a:e1:04:00:0", "ZS2P0400B02", "ZSIM-8318", "zelnic-sim 2-port",
                                           factory_dump("f42ff49b", "8318", 2), v163)},
        {{"-i", "6"}, 0,
         "enp5s0 port0\n" + every_report(1, "02:5a:e1:05:00:0", "ZS1P0500C11", "ZSIM-8208", "zelnic-sim 1-port",
                                         factory_dump("07267568", "8208", 1), " FW\t: 1.2.0.5\n PXE\t: 1.0.9\n")},
        // Four ports for the pseudo device; a file has no version record: its read ends the run.
        {{"-eeprom", file}, 255, "fake port0\n" + every_report(4, "ff:ff:ff:ff:ff:ff", "", "", "", ERASED_FACTORY,
                                                               "invalid partion: 10 \n")},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.select[1]);
        temp_dir state;
        run_in_sim({"/bin/true"}, "", state.path());  // the factory flash images
        const auto before = flash_files(state.path());
        std::vector<std::string> args = {tool_path(), "-q"};
        args.insert(args.end(), r.select.begin(), r.select.end());
        args.insert(args.end(), EVERY_REPORT.begin(), EVERY_REPORT.end());
        const sim_run run = run_in_sim(args, "", state.path());
        EXPECT_EQ(std::pair(run.status, run.out), std::pair(r.status, r.out));
        EXPECT_EQ(log_summary(read_request_log(state.path())),
                  r.status ? "" : "r3 r3 r2 r3 r3 r3 r3 r3 r3 r3 r3 r10");  // the load, then the reports in their order
        EXPECT_TRUE(flash_files(state.path()) == before);
    }
    EXPECT_TRUE(read_file_bytes(file) == std::vector<u8>(0xCA000, 0xff));
}

TEST(Reports, ShowWhatTheCardHeldBeforeTheSaveOfTheSameRun) {
    preset_cards cards;
    record old = sample_user_record(CARD2.sn);
    put_bytes(old, ucfg_at::force_status, std::vector<u8>(16, 0xff));
    write_file_bytes(zsim::flash_file_path(cards.state.path(), CARD2.addr), preset_image(CARD2, old));
    // Stage order: partition dump, serial number, addresses, force state, versions, save.
    expect_run(cards, {{"-q", "-i", "4", "-force-state-show", "-fw-version", "-mac-show", "-sn-show", "-sn",
                        "ZS2P0400NEW", "-force_state", "2 1 -1 -1", "-dp", "3", "-o", "/dev/null"},
                       0,
                       "enp4s0f0 port0\nout to: /dev/null\nsn: ZS2P0400OLD\n0 30:3b:46:51:5c:67\n"
                       "1 88:93:9e:a9:b4:bf\nforce state: enable \nport0:        -\nport1:        -\n"
                       " FW\t: 1.6.3.0\n PXE\t: 2.1.4\nwriting flash.... Done\n",
                       "r3 r3 r3 r3 r3 r10 w3 r3"});
    record now = old;
    put_text(now, ucfg_at::sn, "ZS2P0400NEW");
    put_bytes(now, ucfg_at::force_status, {2, 0, 0, 0, 1, 0, 0, 0});
    expect_flash_holds(cards, CARD2, now);
}

TEST(Reports, FaultyCardsLeaveTheFlashAsItWas) {
    record bad_magic = sample_user_record(CARD4.sn);
    bad_magic[ucfg_at::magic + 3] ^= 0x01;
    const auto config = [](const std::string& from, const std::string& to) {  // the built-in one, edited
        std::string c = sim_default_config();
        return c.replace(c.find(from), from.size(), to);
    };
    const struct { const card& c; record stored; std::string config; tool_case run; } rows[] = {
        // A wrong magic reads as the defaults; the addresses are kept.
        {CARD4, bad_magic, "", {{"-q", "-i", "0", "-sn-show", "-wol-show", "-mac-show"}, 0,
          "enp3s0f0 port0\nsn: \nwol  : enable  mode\n" + table_rows(4, "port", "      -      -") +
              "0 30:3b:46:51:5c:67\n1 88:93:9e:a9:b4:bf\n2 e0:eb:f6:01:0c:17\n3 38:43:4e:59:64:6f\n", "r3 r3 r3 r3"}},
        // The pattern's byte 0xb8 ends the part number at once.
        {CARD2, sample_user_record(CARD2.sn), config("version=ok sn=ZS2", "version=bad-magic sn=ZS2"),
         {{"-q", "-i", "4", "-fw-version", "-pn-show"}, 0, "enp4s0f0 port0\npn: \n show fw version not supported!\n",
          "r3 r3 r10"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.config + testing::PrintToString(r.run.args));
        preset_cards cards;
        write_file_bytes(zsim::flash_file_path(cards.state.path(), r.c.addr), preset_image(r.c, r.stored));
        expect_run(cards, r.run, r.config);
        for (const card* k : {&CARD4, &CARD2, &CARD1})
            expect_flash_holds(cards, *k, k == &r.c ? r.stored : sample_user_record(k->sn));
    }
}

}  // namespace
}  // namespace e2e
