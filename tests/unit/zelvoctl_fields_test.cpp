// zelvoctl's field names: each lands at its place in the user record through
// the library's setters, shows under the same name in the decoded record, and
// a bad field or value is refused with a message naming it.
#include <gtest/gtest.h>

#include "ctl_error.h"
#include "field_setters.h"
#include "flat_fields.h"
#include "test_support.h"

namespace {

using test_support::bytes;

struct patch {
    std::size_t at;  // offset in the 480-byte record, from its published layout
    bytes value;
};

TEST(ZelvoctlFields, EachFieldWritesItsBytesAndShowsUnderItsName) {
    const struct {
        std::string assignment;
        std::vector<patch> patches;
        std::vector<std::string> shown;  // changed rows of the decoded record
    } cases[] = {
        {"mac.1=02:00:00:00:00:10", {{8, {2, 0, 0, 0, 0, 0x10}}}, {"mac.1"}},
        {"mac.7=02-aa-bb-cc-dd-ee", {{56, {2, 0xaa, 0xbb, 0xcc, 0xdd, 0xee}}}, {"mac.7"}},
        {"sn=ABC", {{64, {'A', 'B', 'C'}}}, {"sn"}},
        {"pn=P-7", {{152, {'P', '-', '7'}}}, {"pn"}},
        {"name=nic", {{204, {'n', 'i', 'c'}}}, {"name"}},
        {"si.2=1 2 3 4", {{100, {0, 0x0f, 0, 0}}, {112, {1, 2, 3, 4}}},
         {"si.2.main", "si.2.pre", "si.2.post", "si.2.boost"}},
        {"lane.2.fec=1", {{138, {LANE_FEC_EN}}, {146, {LANE_FEC_EN}}}, {"lane.2.fec.set", "lane.2.fec.on"}},
        {"led=4746c442 3b9aca0 9e4f58 17d7840",
         {{188, {0x42, 0xc4, 0x46, 0x47, 0xa0, 0xac, 0xb9, 0x03, 0x58, 0x4f, 0x9e, 0, 0x40, 0x78, 0x7d, 0x01}}},
         {"led.ctrl", "led.active_timeout", "led.blink_high", "led.blink_low"}},
        {"lldp.2.status=3", {{238, {3}}}, {"lldp.2.status"}},
        {"lldp.0.interval=0x1e", {{244, {30}}}, {"lldp.0.interval"}},
        {"wol.1.mode=2", {{260, {2, 0, 0, 0}}}, {"wol.1.mode"}},
        {"wol.3.enable=1", {{280, {1, 0, 0, 0}}}, {"wol.3.enable"}},
        {"force_state.3=010", {{332, {8, 0, 0, 0}}}, {"force_state.3"}},
        {"pack_id.1.pin=2", {{319, {2}}}, {"pack_id.1.pin"}},
    };
    for (const auto& c : cases) {
        const ucfg_mac_sn before = test_support::reset_record(MAC_SN_MAGIC);
        ucfg_mac_sn after = before;
        apply_field(after, c.assignment);
        bytes want = test_support::bytes_of(before);
        for (const patch& p : c.patches) {
            // Texts are zero-padded to 32 bytes; the padding is already zero.
            std::copy(p.value.begin(), p.value.end(), want.begin() + static_cast<long>(p.at));
        }
        EXPECT_EQ(test_support::bytes_of(after), want) << c.assignment;
        std::vector<std::string> shown;
        for (const field_change& ch : changed_fields(decode_user_record(before), decode_user_record(after)))
            shown.push_back(ch.field);
        EXPECT_EQ(shown, c.shown) << c.assignment;
    }
}

TEST(ZelvoctlFields, BadFieldsAndValuesAreRefusedByName) {
    const std::pair<std::string, std::string> cases[] = {
        {"mac.8=02:00:00:00:00:01", "mac.8: number out of range 0-7"},
        {"mac.0=ff:ff:ff:ff:ff:ff", "mac.0: 'ff:ff:ff:ff:ff:ff' is not a unicast MAC address"},
        {"sn=" + std::string(33, 'x'), "sn: longer than 32 characters"},
        {"si.0=1 2 3", "si.0: invalid si input[1 2 3]: Usage:"},
        {"lldp.4.status=1", "lldp.4.status: number out of range 0-3"},
        {"lane.0.an=2", "lane.0.an: '2' is not 0 or 1"},
        {"led=1 2 3", "led: needs four hexadecimal words: CTRL ACT HI LO"},
        {"bogus=1", "unknown field 'bogus'"},
        {"sn", "'sn' is not FIELD=VALUE"},
    };
    for (const auto& [assignment, message] : cases) {
        ucfg_mac_sn r = test_support::reset_record(MAC_SN_MAGIC);
        try {
            apply_field(r, assignment);
            ADD_FAILURE() << assignment << " was accepted";
        } catch (const ctl_error& e) {
            EXPECT_EQ(e.status(), ctl_status::usage) << assignment;
            EXPECT_EQ(std::string(e.what()), message) << assignment;
        }
    }
}

}  // namespace
