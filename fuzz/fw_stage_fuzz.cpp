// The firmware and PXE update over fuzzed image files, on an in-memory card
// of the layout its device id gives (0x8308, 0x8318, 0x8208, or one outside
// the family, without a chip group). The input gives the card's flash (a
// repeated pattern), the firmware and PXE files (sizes up to a little past
// the largest image, repeated bodies, the chip-group word, a trailer that is
// absent, right or wrong), whether the user record is overwritten, and
// whether the card's record read succeeds, comes short or fails.
//
// What must hold, for the prepared image: a refusal exactly where the checks
// call for one; the image keeps the file's length and bytes but for the
// card's record, spliced where the image reaches into the user area (unless
// overwritten), and the trailer words; a trailer found good checks over the
// bytes as prepared. For the stage: a refused image leads to no write of
// partition 1, an accepted one is written exactly as prepared; a write
// larger than its partition's room is refused by the card and ends the run;
// the process ends only with status -1.
#define FUZZ_TARGET_NAME "fw_stage"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "record/cfg.h"
#include "devices/port_count.h"
#include "base/file_io.h"
#include "fuzz_support.h"
#include "image/crc32_info.h"
#include "base/flash_layout.h"
#include "image/fw_prepare.h"
#include "image/fw_update.h"
#include "image/image_layout.h"
#include "maintain/maintain.h"

namespace {

constexpr std::size_t FILE_SIZE_CAP = FW_BIN_MAX_SZ + 0x1000;
constexpr u16 DEVICE_IDS[] = {KV9_4_PORT_DEV, KV9_2_PORT_DEV, KV3_1_PORT_DEV, 0};
constexpr u32 CHIP_WORDS[] = {0, KV9_CHIP_GROUP, KV3_CHIP_GROUP};

enum class record_read { whole, short_read, failed };

struct card_area {
    int offset;
    int room;
};

// A card's flash in memory, laid out as the driver lays it out for its chip
// group. A write larger than its partition's room is refused (-28) and
// stores nothing, as the driver refuses it.
class memory_card final : public flash_access {
public:
    memory_card(u16 device, std::vector<u8> flash, record_read mode) : flash(std::move(flash)), mode_(mode) {
        kv3_ = chip_group_of_device(device) == KV3_CHIP_GROUP;
    }

    int read_flash_partion(const eth_dev*, int partion, const char*, std::span<u8> buf) override {
        ++reads;
        if (partion != PART_MAC_ADDR || mode_ == record_read::failed)
            return -5;
        const int got = mode_ == record_read::whole ? UCFG_MAC_SN_SZ : UCFG_MAC_SN_SZ / 2;
        std::copy_n(record().begin(), std::min<std::size_t>(static_cast<std::size_t>(got), buf.size()), buf.begin());
        return got;
    }

    int write_flash_partion(const eth_dev*, int partion, std::span<const u8> data) override {
        writes.push_back({partion, data.size()});
        const card_area a = area(partion);
        if (a.room <= 0 || data.size() > static_cast<std::size_t>(a.room))
            return -28;
        std::ranges::copy(data, flash.begin() + a.offset);
        return 0;
    }

    card_area area(int partion) const {
        const int size = static_cast<int>(flash.size());
        const int pxe = kv3_ ? KV3_PXE_PART_PARTION : PXE_PART_PARTION;
        if (partion == PART_FW)
            return {0, size};  // the firmware image may cover the whole flash
        if (partion == IPXE)
            return {pxe, size - pxe};
        return {0, 0};
    }

    std::span<const u8> record() const {
        return std::span<const u8>(flash).subspan(kv3_ ? KV3_UCFG_MAC_SN_PARTION : UCFG_MAC_SN_PARTION, UCFG_MAC_SN_SZ);
    }
    int user_offset() const { return kv3_ ? KV3_UCFG_MAC_SN_PARTION : UCFG_MAC_SN_PARTION; }

    struct write_call {
        int partion;
        std::size_t size;
    };
    std::vector<u8> flash;
    std::vector<write_call> writes;
    int reads = 0;

private:
    record_read mode_;
    bool kv3_ = false;
};

struct scenario {
    u16 device = 0;
    bool overwrite = false;
    bool trace3 = false;
    record_read mode = record_read::whole;
    std::vector<u8> card_flash, fw;
    std::optional<std::vector<u8>> pxe;
};

bool trailer_checks(std::span<const u8> image) {
    if (image.size() < static_cast<std::size_t>(CRC_MIN_IMAGE_SZ) || get_le32(image.data() + CRC_OFFSET) != CRC32_MAGIC)
        return false;
    // The checksum runs over the image with both trailer words as zero.
    constexpr u8 zero_words[8] = {};
    u32 crc = calc_crc32(CRC32_SEED_INIT, image.data(), CRC_OFFSET);
    crc = calc_crc32(crc, zero_words, sizeof zero_words);
    crc = calc_crc32(crc, image.data() + CRC_MIN_IMAGE_SZ, static_cast<u32>(image.size() - CRC_MIN_IMAGE_SZ));
    return crc == get_le32(image.data() + CRC_OFFSET + 4);
}

scenario scenario_from(FuzzedDataProvider& in) {
    scenario sc;
    sc.device = DEVICE_IDS[in.ConsumeIntegralInRange<std::size_t>(0, std::size(DEVICE_IDS) - 1)];
    sc.overwrite = in.ConsumeBool();
    sc.trace3 = in.ConsumeBool();
    sc.mode = static_cast<record_read>(in.ConsumeIntegralInRange<int>(0, 2));
    const u8 trailer = in.ConsumeIntegralInRange<u8>(0, 2);  // none, right, wrong
    const std::size_t word = in.ConsumeIntegralInRange<std::size_t>(0, std::size(CHIP_WORDS));
    const bool with_pxe = in.ConsumeBool();
    const std::size_t pxe_len = in.ConsumeIntegralInRange<std::size_t>(0, PXE_MAX_SZ + 0x1000);
    const std::size_t fw_len = in.ConsumeIntegralInRange<std::size_t>(0, FILE_SIZE_CAP);
    const std::size_t flash_len = chip_group_of_device(sc.device) == KV3_CHIP_GROUP ? KV3_FW_BIN_MAX_SZ : FW_BIN_MAX_SZ;
    sc.card_flash = fuzz::repeated(in.ConsumeBytes<u8>(in.ConsumeIntegralInRange<std::size_t>(0, 600)), flash_len);
    if (with_pxe)
        sc.pxe = fuzz::repeated(in.ConsumeBytes<u8>(16), pxe_len);
    sc.fw = fuzz::repeated(in.ConsumeRemainingBytes<u8>(), fw_len);
    // The last choice keeps the file's own word.
    if (word < std::size(CHIP_WORDS) && sc.fw.size() >= static_cast<std::size_t>(BOOT_PAGE_SZ))
        put_le32(sc.fw.data() + CHIP_GROUP_WORD_OFF, CHIP_WORDS[word]);
    if (trailer != 0 && sc.fw.size() >= static_cast<std::size_t>(CRC_MIN_IMAGE_SZ)) {
        std::fill_n(sc.fw.begin() + CRC_OFFSET, 8, 0);
        add_crc(sc.fw.data(), static_cast<int>(sc.fw.size()));
        if (trailer == 2)
            sc.fw[0] ^= 0x01;
    }
    return sc;
}


// The refusal the checks call for, and whether the card's record is read.
struct expectation {
    fw_refusal refusal = fw_refusal::none;
    bool renewed = false;
    record_splice splice;
    bool reads_record = false;
};

expectation expected(const scenario& sc, const memory_card& card) {
    expectation e;
    const std::size_t len = sc.fw.size();
    if (len == 0) {
        e.refusal = fw_refusal::unreadable;
        return e;
    }
    if (len < static_cast<std::size_t>(BOOT_PAGE_SZ)) {
        e.refusal = fw_refusal::too_small;
        return e;
    }
    const u32 word = get_le32(sc.fw.data() + CHIP_GROUP_WORD_OFF);
    // A device without a group has the default layout and takes KV9 images.
    const u32 group = chip_group_of_device(sc.device);
    if (word != 0 && word != (group != 0 ? group : KV9_CHIP_GROUP)) {
        e.refusal = fw_refusal::wrong_chip_group;
        return e;
    }
    if (len >= static_cast<std::size_t>(CRC_MIN_IMAGE_SZ) && get_le32(sc.fw.data() + CRC_OFFSET) == CRC32_MAGIC) {
        if (!trailer_checks(sc.fw)) {
            e.refusal = fw_refusal::bad_trailer;
            return e;
        }
        e.renewed = true;
    }
    const std::size_t user = static_cast<std::size_t>(card.user_offset());
    if (!sc.overwrite && len > user) {
        e.reads_record = true;
        if (sc.mode != record_read::whole) {
            e.refusal = fw_refusal::record_unreadable;
            return e;
        }
        e.splice = {card.user_offset(), static_cast<int>(std::min<std::size_t>(UCFG_MAC_SN_SZ, len - user))};
    }
    return e;
}

void check_prepared(const scenario& sc, const fw_image& img, const memory_card& card, const expectation& e) {
    FUZZ_CHECK(img.refusal == e.refusal, "refusal " + std::to_string(static_cast<int>(img.refusal)) + " instead of " +
                                             std::to_string(static_cast<int>(e.refusal)));
    FUZZ_CHECK(card.writes.empty(), "preparing the image wrote to the card");
    FUZZ_CHECK(card.reads == (e.reads_record ? 1 : 0), std::to_string(card.reads) + " record reads");
    if (!img.ok()) {
        FUZZ_CHECK(!img.message.empty() && img.bytes.empty(), "a refusal without its message or with an image");
        return;
    }
    FUZZ_CHECK(img.bytes.size() == sc.fw.size(), "the image changed length: " + std::to_string(img.bytes.size()));
    FUZZ_CHECK(img.splice == e.splice, "record spliced at " + std::to_string(img.splice.offset) + " for " +
                                           std::to_string(img.splice.length) + " bytes");
    FUZZ_CHECK(img.trailer == (e.renewed ? fw_trailer::renewed : fw_trailer::none), "trailer state");
    const auto spliced = std::span<const u8>(img.bytes).subspan(static_cast<std::size_t>(e.splice.offset),
                                                                static_cast<std::size_t>(e.splice.length));
    FUZZ_CHECK(std::ranges::equal(spliced, card.record().first(spliced.size())),
               "the spliced bytes are not the card's record");
    // Every other byte is the file's, the trailer words aside when renewed.
    std::vector<u8> want = sc.fw;
    std::ranges::copy(spliced, want.begin() + e.splice.offset);
    if (e.renewed)
        std::copy_n(img.bytes.begin() + CRC_OFFSET, 8, want.begin() + CRC_OFFSET);
    FUZZ_CHECK(img.bytes == want, "a byte outside the record and the trailer differs from the file");
    if (e.renewed)
        FUZZ_CHECK(trailer_checks(img.bytes), "the renewed trailer does not check");
    if (e.renewed && sc.overwrite)
        FUZZ_CHECK(img.bytes == sc.fw, "an overwriting image with a good trailer is not the file");
}

// The card's flash after the stage, from the writes that fit.
void check_stage(const scenario& sc, const fw_image& img, const memory_card& card, const fuzz::call_result& r) {
    FUZZ_CHECK(!r.ended || r.status == -1, "ended with " + std::to_string(r.status));
    std::vector<u8> want = sc.card_flash;
    std::size_t next = 0;  // the write expected next
    bool stopped = false;
    if (sc.pxe) {
        const card_area a = card.area(IPXE);
        if (sc.pxe->empty()) {
            stopped = true;
        } else {
            FUZZ_CHECK(card.writes.size() > next && card.writes[next].partion == IPXE &&
                           card.writes[next].size == sc.pxe->size(),
                       "the PXE file was not written whole to its partition");
            ++next;
            if (sc.pxe->size() > static_cast<std::size_t>(a.room))
                stopped = true;
            else
                std::ranges::copy(*sc.pxe, want.begin() + a.offset);
        }
    }
    if (!stopped && img.ok()) {
        FUZZ_CHECK(card.writes.size() > next && card.writes[next].partion == PART_FW &&
                       card.writes[next].size == img.bytes.size(),
                   "the firmware image was not written whole to partition 1");
        ++next;
        if (img.bytes.size() > want.size())
            stopped = true;
        else
            std::ranges::copy(img.bytes, want.begin());
    }
    stopped = stopped || !img.ok();
    FUZZ_CHECK(card.writes.size() == next, std::to_string(card.writes.size()) + " writes, " + std::to_string(next) +
                                               " expected (a refused image is not written)");
    FUZZ_CHECK(r.ended == stopped, r.ended ? "the stage ended the run" : "the stage went on after a refusal");
    FUZZ_CHECK(card.flash == want, "the card's flash is not what the accepted writes make it");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const scenario sc = scenario_from(in);
    eth_dev dev{};
    std::strcpy(dev.name, "eth0");
    dev.ddevice = sc.device;

    const std::string dir = fuzz::scratch_dir();
    const std::string fw_path = dir + "/fw.bin", pxe_path = dir + "/pxe.bin";
    fuzz::empty_dir(dir);
    if (write_to_file(sc.fw, fw_path.c_str()) < 0 || (sc.pxe && write_to_file(*sc.pxe, pxe_path.c_str()) < 0))
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot write the image files in " + dir);

    memory_card probe(sc.device, sc.card_flash, sc.mode);
    const fw_image img = prepare_fw_image(probe, &dev, fw_path.c_str(), sc.overwrite);
    check_prepared(sc, img, probe, expected(sc, probe));

    const image_request q{sc.pxe ? pxe_path.c_str() : "", fw_path.c_str(), sc.overwrite, sc.trace3 != 0};
    memory_card card(sc.device, sc.card_flash, sc.mode);
    const fuzz::call_result r = fuzz::call_catching_end([&] { return update_pxe_and_fw(q, card, &dev); });
    check_stage(sc, img, card, r);
    return 0;
}
