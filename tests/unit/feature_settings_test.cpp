#include "ucfg/feature_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exit_request.h"
#include "test_support.h"

namespace {

using namespace test_support;

using parser = int (*)(const char*, ucfg_mac_sn*);
using fields = std::vector<long long> (*)(const ucfg_mac_sn&);

int parse_led(const char* text, ucfg_mac_sn* r) { return str_2_led_conf(text, &r->led_bitmap); }

// The fields each parser writes, then the first untouched neighbour where there is one.
template <typename T, std::size_t N, typename Get>
std::vector<long long> first(const T (&a)[N], std::size_t n, Get get) {
    std::vector<long long> v;
    for (std::size_t i = 0; i < n && i < N; ++i)
        v.push_back(get(a[i]));
    return v;
}
template <typename T, std::size_t N>
std::vector<long long> first(const T (&a)[N], std::size_t n) {
    return first(a, n, [](T x) { return x; });
}
std::vector<long long> led(const ucfg_mac_sn& r) {
    const auto& l = r.led_bitmap;
    return {l.led_ctrl, l.active_timeout_thre, l.blink_high_thre, l.blink_low_thre};
}
std::vector<long long> adm(const ucfg_mac_sn& r) { return first(r.lldp_admStatus, 5); }
std::vector<long long> txi(const ucfg_mac_sn& r) { return first(r.lldp_txIntval, 5); }
std::vector<long long> force(const ucfg_mac_sn& r) { return first(r.force_status, 5); }
std::vector<long long> wol_en(const ucfg_mac_sn& r) {
    return first(r.wol_info, 5, [](const wol_cfg& w) { return w.wol_en; });
}
std::vector<long long> wol_mode(const ucfg_mac_sn& r) {  // neighbour: wol_en of port 0
    auto v = first(r.wol_info, 4, [](const wol_cfg& w) { return w.wol_mode; });
    v.push_back(r.wol_info[0].wol_en);
    return v;
}
std::vector<long long> pack(const ucfg_mac_sn& r) {
    return {r.pack_id[0].group, r.pack_id[0].pin, r.pack_id[1].group, r.pack_id[1].pin};
}

TEST(FeatureParsers, StoreValues) {
    const struct {
        parser parse;
        fields read;
        const char* text;
        std::vector<long long> want;
    } cases[] = {
        {parse_led, led, "4746c442 3b9aca0 9e4f58 17d7840", {0x4746c442, 0x3b9aca0, 0x9e4f58, 0x17d7840}},
        {parse_led, led, "0x4746c442 0x3b9aca0 0x9e4f58 0x17d7840 5", {0x4746c442, 0x3b9aca0, 0x9e4f58, 0x17d7840}},
        {str_2_lldp_status_conf, adm, "1 2 3 0", {1, 2, 3, 0, 0xff}},
        {str_2_lldp_status_conf, adm, "-1 0x3 07 1 9", {0xff, 3, 7, 1, 0xff}},
        {str_2_lldp_txIntval_conf, txi, "300 30 30 30", {44, 30, 30, 30, 0xff}},
        {str_2_lldp_txIntval_conf, txi, "30  20 10 5", {30, 0, 20, 10, 0xff}},
        {str_2_wol_mode_conf, wol_mode, "070 0x10 65535 abc", {56, 16, 65535, 0, -1}},
        {str_2_wol_en_conf, wol_en, "1 -1 0 1", {1, -1, 0, 1, -1}},
        {str_2_pack_id_conf, pack, "1 2 3 0", {1, 2, 3, 0}},
        {str_2_pack_id_conf, pack, "-1 0x102 0 0", {0xff, 2, 0, 0}},
        {str_2_force_state_conf, force, "2 0 -1 1", {2, 0, -1, 1, -1}},
    };
    for (const auto& c : cases) {
        ucfg_mac_sn r = reset_record();
        const outcome o = run([&] { EXPECT_EQ(c.parse(c.text, &r), 0); });
        EXPECT_EQ(o.status, 0) << c.text << o.output;
        EXPECT_EQ(c.read(r), c.want) << c.text;
    }
}

TEST(FeatureParsers, MissingValueEndsProcess) {
    const struct {
        parser parse;
        const char* text;
        std::string message;
        const char* usage;
    } cases[] = {
        {parse_led, "1 2 3", "invalid led input[1 2 3]: Usage:\n", led_input_usage},
        {str_2_lldp_status_conf, "1 2 3", "invalid lldp status input[1 2 3]: Usage:\n", lldp_status_usage},
        {str_2_lldp_status_conf, "1,2,3,0", "invalid lldp status input[1,2,3,0]: Usage:\n", lldp_status_usage},
        {str_2_lldp_txIntval_conf, "30  30", "invalid lldp txIntval input[30  30]: Usage:\n", lldp_txIntval_usage},
        {str_2_wol_mode_conf, "0", "invalid wol mode input[0]: Usage:\n", wol_mode_usage},
        {str_2_wol_en_conf, "1 1 1", "invalid en mode input[1 1 1]: Usage:\n", wol_en_usage},
        {str_2_pack_id_conf, "", "invalid pack id input[]: Usage:\n", pack_id_usage},
        {str_2_force_state_conf, "0 1", "invalid force state input[0 1]: Usage:\n", force_state_usage},
    };
    for (const auto& c : cases) {
        ucfg_mac_sn r = reset_record();
        const outcome o = run([&] { c.parse(c.text, &r); });
        EXPECT_EQ(o.status, -1) << c.text;
        EXPECT_EQ(o.output, c.message + c.usage) << c.text;
    }
    // Values read before the missing one are already in the record.
    ucfg_mac_sn r = reset_record();
    run([&] { str_2_lldp_status_conf("1 2 3", &r); });
    EXPECT_EQ(adm(r), (std::vector<long long>{1, 2, 3, 0xff, 0xff}));
}

using batch = int (*)(ucfg_mac_sn*, const settings&);

TEST(FeatureBatches, ApplyGivenTextsAndMark) {
    using text_field = char (settings::*)[OPT_TEXT_CAP];
    const struct {
        batch apply;
        text_field first, second;  // second may be null; both get `text`
        const char* text;
        fields read;
        std::vector<long long> want;
    } cases[] = {
        {cfg_led_batch_set, &settings::led_str, nullptr, "1 2 3 4", led, {1, 2, 3, 4}},
        {cfg_lldp_batch_set, &settings::lldp_status_str, nullptr, "1 2 3 0", adm, {1, 2, 3, 0, 0xff}},
        {cfg_lldp_batch_set, &settings::lldp_txIntval_str, nullptr, "30 30 30 30", adm,
         {0xff, 0xff, 0xff, 0xff, 0xff}},
        {cfg_lldp_batch_set, &settings::lldp_status_str, &settings::lldp_txIntval_str, "1 1 1 1",
         txi, {1, 1, 1, 1, 0xff}},
        {cfg_wol_batch_set, &settings::wol_mode_str, &settings::wol_en_str, "1 0 1 0", wol_en,
         {1, 0, 1, 0, -1}},
        {cfg_wol_batch_set, &settings::wol_en_str, nullptr, "1 0 1 0", wol_mode, {-1, -1, -1, -1, 1}},
        {cfg_pack_id_batch_set, &settings::pack_id_str, nullptr, "1 2 3 0", pack, {1, 2, 3, 0}},
        {cfg_force_state_batch_set, &settings::force_status_str, nullptr, "1 0 1 0", force,
         {1, 0, 1, 0, -1}},
    };
    for (const auto& c : cases) {
        settings s;
        std::strcpy(s.*c.first, c.text);
        if (c.second)
            std::strcpy(s.*c.second, c.text);
        ucfg_mac_sn r = reset_record();
        r.magic = 0;
        ucfg_mac_sn_dirty = 0;
        EXPECT_EQ(c.apply(&r, s), 0) << c.text;
        EXPECT_EQ(c.read(r), c.want) << c.text;
        EXPECT_EQ(r.magic, MAC_SN_MAGIC) << c.text;
        EXPECT_EQ(ucfg_mac_sn_dirty, 1) << c.text;
    }
}

TEST(FeatureBatches, NothingGivenLeavesRecord) {
    for (batch apply : {cfg_led_batch_set, cfg_lldp_batch_set, cfg_wol_batch_set,
                        cfg_pack_id_batch_set, cfg_force_state_batch_set}) {
        const settings s;
        ucfg_mac_sn r = reset_record();
        r.magic = 0;
        const ucfg_mac_sn before = r;
        ucfg_mac_sn_dirty = 0;
        EXPECT_EQ(apply(&r, s), 0);
        EXPECT_EQ(std::memcmp(&r, &before, sizeof(r)), 0);
        EXPECT_EQ(ucfg_mac_sn_dirty, 0);
    }
}

}  // namespace
