#include "ucfg/ucfg_store.h"

#include "maintain.h"
#include "test_support.h"

namespace {

using namespace test_support;

// What the reset makes of the stored bytes `b`.
bytes reset_of(bytes b) {
    ucfg_mac_sn r;
    std::memcpy(&r, b.data(), sizeof(r));
    ucfg_mac_sn_reset(&r);
    return bytes_of(r);
}

ucfg_mac_sn sample_record() {
    ucfg_mac_sn r = reset_record();
    std::memcpy(r.macaddr[0], "\x00\x1b\x21\xaa\xbb\x01", 6);
    std::memcpy(r.sn, "ABC123", 6);
    return r;
}

// The record partition of one card, with knobs for lost writes, failing
// calls and short reads.
struct fake_flash final : flash_access {
    explicit fake_flash(bytes content) : stored(std::move(content)) {}

    int read_flash_partion(const eth_dev*, int partion, const char*, std::span<u8> out_buf) override {
        ++reads;
        EXPECT_EQ(partion, PART_MAC_ADDR);
        if (read_result < 0)
            return read_result;
        std::copy_n(stored.begin(), std::min<std::size_t>(deliver, out_buf.size()), out_buf.begin());
        return deliver;
    }
    int write_flash_partion(const eth_dev*, int partion, std::span<const u8> data) override {
        ++writes;
        EXPECT_EQ(partion, PART_MAC_ADDR);
        if (write_result == 0 && lost_writes-- <= 0)
            stored.assign(data.begin(), data.end());
        return write_result;
    }

    bytes stored;
    int deliver = UCFG_MAC_SN_SZ, read_result = 0, write_result = 0, lost_writes = 0;
    int reads = 0, writes = 0;
};

const eth_dev some_dev{};

TEST(LoadMacSn, DecidesByTheStoredMagic) {
    const bytes good = bytes_of(sample_record());
    bytes bad_magic = good;
    bad_magic[98] ^= 0x01;
    const auto erased_from = [](bytes b, int keep) {
        std::fill(b.begin() + keep, b.end(), 0xff);
        return b;
    };
    const struct { const char* name; bytes stored; int deliver; bytes want; } cases[] = {
        {"valid record", good, 480, good},
        {"erased flash", bytes(480, 0xff), 480, reset_of(bytes(480, 0xff))},
        {"one magic byte off", bad_magic, 480, reset_of(bad_magic)},
        {"short read past the magic", good, 100, erased_from(good, 100)},
        {"short read before the magic", good, 96, reset_of(erased_from(good, 96))},
        {"nothing delivered", good, 0, reset_of(bytes(480, 0xff))},
    };
    for (const auto& c : cases) {
        fake_flash flash(c.stored);
        flash.deliver = c.deliver;
        ucfg_mac_sn_dirty = 0;
        ucfg_mac_sn r;
        std::memset(&r, 0x33, sizeof(r));
        const outcome o = run([&] { return load_mac_sn(flash, &some_dev, &r); });
        EXPECT_EQ(std::tuple(o.result, o.output, ucfg_mac_sn_dirty), std::tuple(0, "", 0)) << c.name;
        EXPECT_EQ(bytes_of(r), c.want) << c.name;
    }
}

TEST(SaveMacSn, RetriesUntilTheReadBackAgrees) {
    const struct { const char* name; int lost_writes, write_result, read_result, want, writes, reads; } cases[] = {
        {"first write kept", 0, 0, 0, 0, 1, 1},    {"first write lost", 1, 0, 0, 0, 2, 2},
        {"two writes lost", 2, 0, 0, 0, 3, 3},     {"every write lost", 3, 0, 0, -1, 3, 3},
        {"writes fail", 0, -5, 0, -1, 3, 0},       {"read-back fails", 0, 0, -5, -1, 3, 3},
    };
    const ucfg_mac_sn rec = sample_record();
    for (const auto& c : cases) {
        fake_flash flash(bytes(480, 0xff));
        flash.lost_writes = c.lost_writes, flash.write_result = c.write_result, flash.read_result = c.read_result;
        const int result = run([&] { return save_mac_sn(flash, &some_dev, &rec); }).result;
        EXPECT_EQ(std::tuple(result, flash.writes, flash.reads, flash.stored == bytes_of(rec)),
                  std::tuple(c.want, c.writes, c.reads, c.write_result == 0 && c.lost_writes < c.writes)) << c.name;
    }
}

}  // namespace
