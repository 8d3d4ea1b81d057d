#include "ucfg/feature_settings.h"

#include "test_support.h"

namespace {

using namespace test_support;
using rec = ucfg_mac_sn;
using parser = int (*)(const char*, rec*);
using edit = void (*)(rec&);  // what a parse or batch should change in a record

int parse_led(const char* text, rec* r) { return str_2_led_conf(text, &r->led_bitmap); }

// Stores `values` from the first element on, each converted to the element type.
template <typename T, std::size_t N>
void set(T (&a)[N], std::initializer_list<int> values) {
    std::size_t i = 0;
    for (int v : values)
        a[i++] = static_cast<T>(v);
}
void set_wol(rec& r, std::int32_t wol_cfg::*field, std::initializer_list<int> values) {
    int i = 0;
    for (int v : values)
        r.wol_info[i++].*field = v;
}

TEST(FeatureParsers, StoreValues) {
    const struct { parser parse; const char* text; edit want; } cases[] = {
        {parse_led, "0x4746c442 0x3b9aca0 0x9e4f58 0x17d7840 5",
         [](rec& r) { r.led_bitmap = {0x4746c442, 0x3b9aca0, 0x9e4f58, 0x17d7840}; }},
        {str_2_lldp_status_conf, "-1 0x3 07 1 9", [](rec& r) { set(r.lldp_admStatus, {0xff, 3, 7, 1}); }},
        {str_2_lldp_txIntval_conf, "30  20 10 5", [](rec& r) { set(r.lldp_txIntval, {30, 0, 20, 10}); }},
        {str_2_wol_mode_conf, "070 0x10 65535 abc", [](rec& r) { set_wol(r, &wol_cfg::wol_mode, {56, 16, 65535, 0}); }},
        {str_2_wol_en_conf, "1 -1 0 1", [](rec& r) { set_wol(r, &wol_cfg::wol_en, {1, -1, 0, 1}); }},
        {str_2_pack_id_conf, "-1 0x102 0 0", [](rec& r) { r.pack_id[0] = {0xff, 2}, r.pack_id[1] = {0, 0}; }},
        {str_2_force_state_conf, "2 0 -1 1", [](rec& r) { set(r.force_status, {2, 0, -1, 1}); }},
    };
    for (const auto& c : cases) {
        rec r = reset_record(), want = reset_record();
        c.want(want);
        c.parse(c.text, &r);
        EXPECT_TRUE(same_record(r, want)) << c.text;
    }
}

}  // namespace
