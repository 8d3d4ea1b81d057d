#include "ucfg/ucfg_store.h"

#include "maintain/maintain.h"
#include "record/run_context.h"
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

// The record partition of one card, delivering the first `deliver` bytes of
// what it stores; a load never writes.
struct fake_flash final : flash_access {
    explicit fake_flash(bytes content) : stored(std::move(content)) {}

    int read_flash_partion(const eth_dev*, int partion, const char*, std::span<u8> out_buf) override {
        EXPECT_EQ(partion, PART_MAC_ADDR);
        std::copy_n(stored.begin(), std::min<std::size_t>(deliver, out_buf.size()), out_buf.begin());
        return deliver;
    }
    int write_flash_partion(const eth_dev*, int partion, std::span<const u8>) override {
        ADD_FAILURE() << "a load wrote partition " << partion;
        return -5;
    }

    bytes stored;
    int deliver = UCFG_MAC_SN_SZ;
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
        {"one magic byte off", bad_magic, 480, reset_of(bad_magic)},
        {"short read past the magic", good, 100, erased_from(good, 100)},
        {"short read before the magic", good, 96, reset_of(erased_from(good, 96))},
        {"nothing delivered", good, 0, reset_of(bytes(480, 0xff))},
    };
    for (const auto& c : cases) {
        fake_flash flash(c.stored);
        flash.deliver = c.deliver;
        const run_context ctx;
        ucfg_mac_sn r;
        std::memset(&r, 0x33, sizeof(r));
        const outcome o = run([&] { return load_mac_sn(flash, &some_dev, &r); });
        EXPECT_EQ(std::tuple(o.result, o.output, int(ctx.record_changed())), std::tuple(0, "", 0)) << c.name;
        EXPECT_EQ(bytes_of(r), c.want) << c.name;
    }
}

}  // namespace
