// Offline image generation: output bytes and lengths for the cases
// that matter, its refusals, and the -pci step with its checksum.
#include "cli/main_driver.h"
#include "image/gen_bin.h"

#include "base/byte_order.h"
#include "cli/command_set.h"
#include "maintain/maintain.h"
#include "record/run_context.h"
#include "test_support.h"

namespace {

using namespace test_support;
constexpr u32 KV9 = 0x88488308, KV3 = 0x88488208;

// Pattern bytes and a chip-group word; with `cfg` a consistent net_config at 0x40000.
bytes fw_file(std::size_t len, u32 group = 0, bool cfg = false) {
    bytes f = patterned(len);
    if (len >= 64)
        put_le32(f.data() + 60, group);
    if (cfg) {
        put_le32(f.data() + 0x40000, NET_CFG_MAGIC);
        put_le16(f.data() + 0x40008, sizeof(net_config));
        put_le32(f.data() + 0x40004, 0);
        put_le32(f.data() + 0x40004, crxsum(f.data() + 0x40000, sizeof(net_config)));
    }
    return f;
}

// `size` bytes of 0xFF with the given pieces laid over them in order.
bytes image(std::size_t size, std::initializer_list<std::pair<std::size_t, bytes>> pieces) {
    bytes b(size, 0xFF);
    for (const auto& [at, piece] : pieces)
        std::copy(piece.begin(), piece.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
}

// A reset record (from 0xFF) with `edit` applied and the magic.
template <typename F>
bytes record(F edit, const u8* from = nullptr) {
    ucfg_mac_sn r = reset_record();
    if (from)
        std::memcpy(&r, from, sizeof r);
    edit(r);
    r.magic = MAC_SN_MAGIC;
    return bytes_of(r);
}

TEST(GenBin, OutputBytesAndLengths) {
    temp_dir d;
    const bytes small = fw_file(0x30000), lng = fw_file(300000), kv3 = fw_file(0x10000, KV3), pxe = patterned(0x1234),
                with_cfg = fw_file(0x41000, 0, true);
    for (const auto& [name, content] : std::initializer_list<std::pair<const char*, bytes>>{
             {"s", small}, {"l", lng}, {"k3", kv3}, {"k9", fw_file(0x100, KV9)}, {"p", pxe},
             {"max", fw_file(0xCA000)}, {"over", fw_file(0xCA001)}, {"63", fw_file(63)}, {"64", fw_file(64)},
             {"e", {}}, {"pover", patterned(0x80001)}, {"p3over", patterned(0x60001)}, {"c", with_cfg}})
        write_file_bytes(d / name, content);
    const auto at = [&](const char* name) { return d / name; };
    const auto sn_x = [](ucfg_mac_sn& r) { std::memcpy(r.sn, "X", 2); };
    const bytes reset = record([](ucfg_mac_sn&) {}), x = record(sn_x);
    bytes linked = with_cfg;  // -pci gen3x2: lanes 2, generation 3, csum again
    linked[0x4000C] = 2, linked[0x4000D] = 3;
    put_le32(linked.data() + 0x40004, 0);
    put_le32(linked.data() + 0x40004, crxsum(linked.data() + 0x40000, sizeof(net_config)));
    const std::string p4 = "-ports", ports_msg = "please set numbers of ports by -ports <num-ports>\n";

    const struct {
        std::vector<std::string> args;
        u32 group;
        int result;
        std::string out;
        bytes want;  // empty: refused
    } rows[] = {
        {{"-fw", at("missing")}, 0, -1, ports_msg, {}},  // the port count is checked first
        {{p4, "4", "-fw", at("s")}, 0, 0, "", image(0x41000, {{0, small}})},
        {{p4, "4", "-fw", at("s"), "-sn", "X"}, 0, 0, "", image(0x42000, {{0, small}, {0x41000, x}})},
        // A PXE image: the whole length, the reset record of step 4 inside it.
        {{p4, "4", "-fw", at("s"), "-pxe", at("p")}, 0, 0, "", image(0xCA000, {{0, small}, {0x41000, reset}, {0x4A000, pxe}})},
        {{p4, "4", "-fw", at("l")}, 0, 0, "", lng},  // a long firmware: its length, its bytes for the record
        {{p4, "4", "-fw", at("l"), "-pn", "P"}, 0, 0, "",
         image(300000, {{0, lng}, {0x41000, record([](ucfg_mac_sn& r) { std::memset(r.pn, 0, 32), r.pn[0] = 'P'; }, lng.data() + 0x41000)}})},
        {{p4, "4", "-fw", at("max")}, 0, 0, "", fw_file(0xCA000)},
        {{p4, "4", "-fw", at("64")}, 0, 0, "", image(0x41000, {{0, fw_file(64)}})},
        {{p4, "4", "-fw", at("s"), "-pack_id", "1 1 1 1"}, 0, 0, "", image(0x41000, {{0, small}})},  // not applied
        {{p4, "4", "-fw", at("c"), "-pci", "gen3x2"}, 0, 0, "", linked},
        {{p4, "4", "-fw", at("k3"), "-sn", "X"}, KV3, 0, "", image(0x1F000, {{0, kv3}, {0x1E000, x}})},
        {{p4, "4", "-fw", at("k3"), "-pxe", at("p")}, KV3, 0, "", image(0x80000, {{0, kv3}, {0x1E000, reset}, {0x20000, pxe}})},
        {{p4, "4", "-fw", at("k9")}, 0, -1, "fw bin is not for KV3 !\n", {}},
        {{p4, "4", "-fw", at("k3")}, KV9, -1, "fw bin is not for KV9 !\n", {}},
        {{p4, "4", "-fw", at("missing")}, 0, -1, "canot' read " + at("missing") + "\n", {}},
        {{p4, "4", "-fw", at("e")}, 0, -1, "canot' read " + at("e") + "\n", {}},
        {{p4, "4", "-fw", at("over")}, 0, -1, "fw bin too large: " + at("over") + "\n", {}},
        {{p4, "4", "-fw", at("63")}, 0, -1, "fw bin too small: " + at("63") + "\n", {}},
        {{p4, "4", "-fw", at("s"), "-pxe", at("pover")}, 0, -1, "pxe bin too large: " + at("pover") + "\n", {}},
        {{p4, "4", "-fw", at("k3"), "-pxe", at("p3over")}, KV3, -1, "pxe bin too large: " + at("p3over") + "\n", {}},
        {{"-ports", "9", "-fw", at("s"), "-mac-p0", "02:00:00:00:00:01"}, 0, -1, "ports param is must 1 to 8 \n", {}},
        {{p4, "4", "-fw", at("s"), "-pci", "gen2x4"}, 0, -1, "fw bin has no valid net config for -pci\n", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args));
        settings s;
        ASSERT_GE(parse_with(build_opts(s).data(), r.args).result, 0);
        const run_context ctx;
        bytes out = {1};
        const outcome o = run([&] { return build_gen_bin(gen_bin_request_of(s), r.group, out); });
        EXPECT_EQ(std::tuple(o.ended, o.result, o.output, out.size()), std::tuple(false, r.result, r.out, r.want.size()));
        EXPECT_TRUE(out == r.want);
    }
    settings s;  // no firmware path: refused
    s.port_cnts_of_card = 4;
    const outcome o = run([&] { bytes out; return build_gen_bin(gen_bin_request_of(s), 0, out); });
    EXPECT_EQ(std::tuple(o.ended, o.result, o.output), std::tuple(false, -1, std::string("please input fw.bin\n")));
}

// The step on its own (through generation: the "-pci gen3x2" row above).
TEST(GenBin, PciLinkStep) {
    const bytes file = fw_file(0x41000, 0, true), area(file.begin() + 0x40000, file.end());
    const struct { const char* text; bool trace; u8 gen, lanes; const char* out; } rows[] = {
        {"gen2x4", true, 2, 4, "gen2X4\n"}, {"gen4", true, 4, 8, "gen4X8\n"}, {"x4", false, 3, 8, ""}};
    for (const auto& r : rows) {
        bytes a = area;
        const outcome o = run([&] { return set_pci_link(a, r.text, r.trace); });
        EXPECT_EQ(std::tuple(o.result, o.output, a[12], a[13], crxsum(a.data(), sizeof(net_config))),
                  std::tuple(0, r.out, r.lanes, r.gen, 0u)) << r.text;
    }
    for (const auto& [magic, len] : {std::pair{0x00010CF8u, 1428}, {NET_CFG_MAGIC, 11}, {NET_CFG_MAGIC, 4097}}) {
        bytes a(0x1000, 0);
        put_le32(a.data(), magic);
        put_le16(a.data() + 8, static_cast<u16>(len));
        EXPECT_EQ(run([&] { return set_pci_link(a, "gen2x4", true); }).result + a[12], -1);
    }
}

}  // namespace
