// The file-backed road over flash image files of any size and content. The
// first three input bytes give the image size (up to a little past the
// largest image), the rest is repeated to fill it. Every partition number is
// read once into a caller's buffer, one of them (picked by the last input
// byte) also into a dump file, and the user record is loaded through the
// channel as the tool does.
//
// What must hold: a partition the image holds whole is delivered exactly as
// its slice of the image, to the file and the buffer, never past the buffer;
// a partition it does not hold whole delivers nothing; a count is never above
// the partition's area; a partition without an area is refused with -EINVAL
// and a fault that ends the run.
#define FUZZ_TARGET_NAME "file_eeprom"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "record/cfg.h"
#include "flash/file_eeprom.h"
#include "fuzz_support.h"
#include "base/flash_layout.h"
#include "maintain/maintain.h"
#include "ucfg/ucfg_store.h"

namespace {

constexpr u8 UNTOUCHED = 0xC3;
constexpr std::size_t IMAGE_SIZE_CAP = FW_BIN_MAX_SZ + 0x1000;

std::vector<u8> image_from(const u8* data, std::size_t size) {
    const std::size_t len = (data[0] | std::size_t{data[1]} << 8 | std::size_t{data[2]} << 16) % (IMAGE_SIZE_CAP + 1);
    return fuzz::repeated(std::span<const u8>(data + 3, size - 3), len);
}

// Reads one partition into a buffer and, when `out` is given, a dump file.
void read_one(std::span<const u8> image, int partion, std::size_t buf_len, const char* out) {
    if (out)
        fuzz::empty_dir(fuzz::scratch_dir());
    std::vector<u8> buf(buf_len + 32, UNTOUCHED);
    const flash_outcome r = read_fake_file_eeprom_partion(image, partion, out, std::span<u8>(buf).first(buf_len));
    const auto area = find_eeprom_partion(partion);
    const auto dumped = out ? fuzz::file_content(out) : std::nullopt;
    const std::string which = "partition " + std::to_string(partion) + " of a " + std::to_string(image.size()) + "-byte image";
    if (!area) {
        FUZZ_CHECK(r.value == -EINVAL && r.fault.code == fault_code::failed && !dumped,
                   which + " has no area yet was served or went on");
        return;
    }
    FUZZ_CHECK(area->offset >= 0 && area->size > 0 && area->offset + area->size <= FW_BIN_MAX_SZ, which + ": area off the flash");
    FUZZ_CHECK(r.fault.ok(), which + " ended the run");
    const bool whole = static_cast<std::size_t>(area->offset + area->size) <= image.size();
    FUZZ_CHECK(r.value == (whole ? area->size : 0), which + ": count " + std::to_string(r.value));
    const std::size_t delivered = static_cast<std::size_t>(r.value);
    const std::span<const u8> slice = image.subspan(whole ? static_cast<std::size_t>(area->offset) : 0, delivered);
    if (whole && out)
        FUZZ_CHECK(dumped && std::equal(dumped->begin(), dumped->end(), slice.begin(), slice.end()),
                   which + ": dump file is not the image slice");
    else
        FUZZ_CHECK(!dumped, which + ": dump file of a partition past the image end");
    const std::size_t copied = std::min(delivered, buf_len);
    FUZZ_CHECK(std::equal(slice.begin(), slice.begin() + static_cast<long>(copied), buf.begin()),
               which + ": buffer is not the image slice");
    FUZZ_CHECK(std::all_of(buf.begin() + static_cast<long>(copied), buf.end(), [](u8 b) { return b == UNTOUCHED; }),
               which + ": written past the delivered data");
}

// The record as the pipeline loads it on this road.
void load_record(const std::vector<u8>& image) {
    eth_dev fake{};
    std::strcpy(fake.name, "fake");
    file_eeprom flash(&fake, image);
    ucfg_mac_sn rec;
    std::memset(&rec, UNTOUCHED, sizeof rec);
    const fuzz::call_result r = fuzz::call_catching_end([&] { return load_mac_sn(flash, &fake, &rec); });
    FUZZ_CHECK(!r.ended && flash.fault().ok(), "loading the record ended the run");
    const std::size_t end = UCFG_MAC_SN_PARTION + sizeof rec;
    if (r.status != 0 || image.size() < end)
        return;
    ucfg_mac_sn stored;
    std::memcpy(&stored, image.data() + UCFG_MAC_SN_PARTION, sizeof stored);
    FUZZ_CHECK(rec.magic == MAC_SN_MAGIC, "a loaded record without its magic");
    if (stored.magic == MAC_SN_MAGIC)
        FUZZ_CHECK(std::memcmp(&rec, &stored, sizeof rec) == 0, "a valid stored record loaded changed");
    FUZZ_CHECK(std::memcmp(rec.macaddr, stored.macaddr, sizeof rec.macaddr) == 0, "the MAC slots were not kept");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const std::vector<u8> image = image_from(data, size);
    const std::string out = fuzz::scratch_dir() + "/part.bin";
    // Buffers smaller than, equal to and larger than the record.
    const std::size_t buf_len = size % 3 == 0 ? 100 : (size % 3 == 1 ? UCFG_MAC_SN_SZ : 0x2000);
    // Dump files are slow to write: one partition per input goes to a file.
    const int dumped = data[size - 1] % (PART_MAX + 3) - 1;
    for (int partion = -1; partion <= PART_MAX + 1; ++partion)
        read_one(image, partion, buf_len, partion == dumped ? out.c_str() : nullptr);
    load_record(image);
    return 0;
}
