#include "ucfg/si_settings.h"

#include "record/run_context.h"
#include "test_support.h"

namespace {

using namespace test_support;

std::vector<int> values(const si* sets, int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i)
        v.insert(v.end(), {sets[i].tx_eq_main, sets[i].tx_eq_pre, sets[i].tx_eq_post, sets[i].boost});
    return v;
}

const std::vector<int> FOUR_SETS = {21, 0, 11, 11, 22, 0, 12, 12, 23, 0, 13, 13, 24, 0, 14, 14};
const si LANES[4] = {{21, 0, 11, 11}, {22, 0, 12, 12}, {23, 0, 13, 13}, {24, 0, 14, 14}};

TEST(StrToSi, AcceptsOneOrFourSetsAndEndsTheProcessOnAnythingElse) {
    const std::string usage = si_input_usage;
    const struct { const char* text; std::vector<int> sets; std::string output; } cases[] = {
        {"29 0 12 15", {29, 0, 12, 15}, ""},       {" 29 0 12 15", {29, 0, 12, 15}, ""},
        {"010 0X3f abc 0", {8, 63, 0, 0}, ""},     {"29  0 12 15", {29, 0, 0, 12}, ""},  // empty token reads 0
        {"21 0 11 11,22 0 12 12,23 0 13 13,24 0 14 14", FOUR_SETS, ""},
        {"21 0 11 11,22 0 12 12,23 0 13 13,24 0 14 14,25 0 15 15,x", FOUR_SETS, ""},
        {"64 0 12 15", {}, "invalid main:64\n"}, {"29 -1 12 15", {}, "invalid pre:-1\n"},
        {"29 0 0x40 15", {}, "invalid post:64\n"},
        {"29 0 12 16", {}, "invalid boost:16 in:[29 0 12 16]\n"},
        {"21 0 11 11, 22 0 12 16,23 0 13 13,24 0 14 14", {}, "invalid boost:16 in:[ 22 0 12 16]\n"},
        {"21 0 11 11,22 0 12 12", {}, "invalid si input[21 0 11 11,22 0 12 12]: Usage:\n" + usage},
        {"29 0 12", {}, "invalid si input[29 0 12]: Usage:\n" + usage},
        {"29 0 12 15,", {}, "invalid si input[29 0 12 15,]: Usage:\n" + usage},
        {"1 0 1 1,2 0 2 2,,4 0 4 4", {}, "invalid si input[1 0 1 1,2 0 2 2,,4 0 4 4]: Usage:\n" + usage},
    };
    for (const auto& c : cases) {
        si out[4];
        const outcome o = run([&] { return str_2_si_v2(c.text, out, false); });
        EXPECT_EQ(std::pair(o.result < 0 ? o.result : 0, o.output), std::pair(c.output.empty() ? 0 : -EINVAL, c.output))
            << c.text;
        EXPECT_EQ(o.result < 0 ? std::vector<int>{} : values(out, o.result), c.sets) << c.text;
    }
    si out[4];
    EXPECT_EQ(run([&] { str_2_si_v2("29 0 12 15", out, true); }).output, "[0] main:29 pre:0 post:12 boost:15\n");
}

TEST(SiBatch, StopsAtFirstEmptyPort) {
    const struct { int port_a; const char* text_a; int port_b; const char* text_b; u32 flags;
                   std::vector<int> entry0; u32 magic; int dirty; } cases[] = {
        {0, "", 0, "", 0, {0xff, 0xff, 0xff, 0xff}, 0, 0},
        {1, "29 0 12 15", 1, "29 0 12 15", 0, {0xff, 0xff, 0xff, 0xff}, u32(MAC_SN_MAGIC), 0},
        {0, "1 2 3 4", 2, "29 0 12 15", 0xf, {1, 2, 3, 4}, u32(MAC_SN_MAGIC), 1},
        {0, "1 2 3 4,1 2 3 4,1 2 3 4,1 2 3 4", 1, "29 0 12 15", 0xffff, {1, 2, 3, 4}, u32(MAC_SN_MAGIC), 1},
    };
    for (const auto& c : cases) {
        si_port_texts texts{"", "", "", "", "", "", "", ""};
        texts[static_cast<std::size_t>(c.port_a)] = c.text_a;
        texts[static_cast<std::size_t>(c.port_b)] = c.text_b;
        ucfg_mac_sn r = reset_record(0);
        const run_context ctx;
        EXPECT_TRUE(cfg_si_batch_set(&r, texts, false).ok()) << c.text_a;
        EXPECT_EQ(std::tuple(r.si_valid_flags, values(&r.si[0], 1), static_cast<u32>(r.magic), int(ctx.record_changed())),
                  std::tuple(c.flags, c.entry0, c.magic, c.dirty)) << c.text_a;
    }
}

}  // namespace
