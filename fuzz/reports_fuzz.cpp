// Every show and dump on the file-backed road, over a flash image file of any
// size and content: the input gives the image size (up to a little past the
// largest image), its repeated body, the device id of the pseudo device
// (which sizes the per-port tables), whether the reports ask for another
// device than the image's own, and the partition dumped to a file as -dp
// does.
//
// What must hold: nothing is ever written to the flash; a report ends the run,
// by its result or by the fault the image file keeps, and then with status
// -1: the record reports exactly when the record cannot be read (another
// device), whatever the image holds, since a record read whole or in part
// loads as stored or as the defaults; the version show exactly when the read
// reaches the image, which has no version record. A partition dump is the
// image slice or no file at all; one the image has no area for is refused
// with -EINVAL and the image file's fault.
#define FUZZ_TARGET_NAME "reports"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "record/cfg.h"
#include "devices/port_count.h"
#include "flash/file_eeprom.h"
#include "fuzz_support.h"
#include "base/flash_layout.h"
#include "maintain/maintain.h"
#include "report/factory_dump.h"
#include "report/fw_version_show.h"
#include "report/shows.h"
#include "report/ucfg_dumps.h"

namespace {

constexpr std::size_t IMAGE_SIZE_CAP = FW_BIN_MAX_SZ + 0x1000;
constexpr u16 DEVICE_IDS[] = {0, KV3_1_PORT_DEV, KV9_2_PORT_DEV, KV9_4_PORT_DEV};

// The image file's flash, counting the writes that reach it.
class counting_flash final : public flash_access {
public:
    explicit counting_flash(file_eeprom& inner) : inner_(inner) {}
    int read_flash_partion(const eth_dev* dev, int partion, const char* out, std::span<u8> buf) override {
        return inner_.read_flash_partion(dev, partion, out, buf);
    }
    int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) override {
        ++writes;
        return inner_.write_flash_partion(dev, partion, data);
    }
    bool keeps_writes() const override { return inner_.keeps_writes(); }
    int writes = 0;

private:
    file_eeprom& inner_;
};

// Runs one report; `ends` tells whether it must end the run, by its result
// or by a fault the image file keeps (taken over here, as a front end does).
void report(const char* name, file_eeprom& file, bool ends, const std::function<result()>& f) {
    const fuzz::call_result r = fuzz::call_catching_end([&] {
        const result said = f();
        result fault = file.take_fault();
        return said.ok() ? fault : said;
    });
    FUZZ_CHECK(!r.ended || r.status == -1, std::string(name) + " ended with " + std::to_string(r.status));
    FUZZ_CHECK(r.ended == ends, std::string(name) + (ends ? " went on without a record" : " ended the run"));
}

// -dp: the partition read with only a dump file, as the pipeline asks for it.
// A partition the image has no area for is refused with -EINVAL and ends the
// run by the fault the image file keeps; every other read keeps none.
void dump_partition(flash_access& flash, file_eeprom& file, const eth_dev& image_dev, const eth_dev* dev,
                    const std::vector<u8>& image, int partion) {
    const std::string out = fuzz::scratch_dir() + "/part.bin";
    fuzz::empty_dir(fuzz::scratch_dir());
    const fuzz::call_result r =
        fuzz::call_catching_end([&] { return flash.read_flash_partion(dev, partion, out.c_str(), {}); });
    const result fault = file.take_fault();
    const auto dumped = fuzz::file_content(out);
    const std::string which = "partition " + std::to_string(partion) + " of a " + std::to_string(image.size()) + "-byte image";
    FUZZ_CHECK(!r.ended, which + " took the process-ending path");
    const auto area = find_eeprom_partion(partion);
    if (!partion_in_range(partion) || dev != &image_dev) {
        FUZZ_CHECK(r.status == -EINVAL && fault.ok() && !dumped, which + ": served out of range or to another device");
        return;
    }
    if (!area) {
        FUZZ_CHECK(r.status == -EINVAL && fault.code == fault_code::failed && !dumped,
                   which + " has no area yet was served or went on");
        return;
    }
    FUZZ_CHECK(fault.ok(), which + " ended the run");
    const std::size_t end = static_cast<std::size_t>(area->offset + area->size);
    if (end > image.size()) {
        FUZZ_CHECK(r.status == 0 && !dumped, which + ": a partition past the image end was served");
        return;
    }
    const auto slice = std::span<const u8>(image).subspan(static_cast<std::size_t>(area->offset),
                                                          static_cast<std::size_t>(area->size));
    FUZZ_CHECK(r.status == area->size, which + ": count " + std::to_string(r.status));
    FUZZ_CHECK(dumped && std::ranges::equal(*dumped, slice), which + ": dump file is not the image slice");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    eth_dev fake{};
    std::strcpy(fake.name, "fake");
    fake.ddevice = DEVICE_IDS[in.ConsumeIntegralInRange<std::size_t>(0, std::size(DEVICE_IDS) - 1)];
    const bool foreign = in.ConsumeBool();
    const int dumped = in.ConsumeIntegralInRange<int>(0, PART_MAX + 1);
    const std::size_t len = in.ConsumeIntegralInRange<std::size_t>(0, IMAGE_SIZE_CAP);
    const std::vector<u8> pattern = in.ConsumeRemainingBytes<u8>();
    const std::vector<u8> image = fuzz::repeated(pattern, len);

    file_eeprom file(&fake, image);
    counting_flash flash(file);
    FUZZ_CHECK(!flash.keeps_writes(), "the image file claims to keep writes");
    eth_dev other = fake;
    const eth_dev* dev = foreign ? &other : &fake;
    const bool unreadable = foreign;  // the record read fails
    report("-dump0", file, unreadable, [&] { return do_dump_ucfg_mac_sn(flash, dev); });
    report("-dumpcfg", file, false, [&] {
        do_dump_partion1(flash, dev);
        return result{};
    });
    report("-si-show", file, unreadable, [&] { return do_dump_ucfg_si(flash, dev); });
    report("-sn-show -pn-show", file, unreadable, [&] { return do_show_sn_pn(flash, dev, true, true); });
    report("-lldp-show", file, unreadable, [&] { return do_dump_ucfg_lldp(flash, dev); });
    report("-wol-show", file, unreadable, [&] { return do_dump_ucfg_wol(flash, dev); });
    report("-pName-show", file, unreadable, [&] { return do_show_pName(flash, dev, true); });
    report("-mac-show", file, false, [&] {
        FUZZ_CHECK(do_show_mac(flash, dev, true) == (unreadable ? -1 : 0), "-mac-show result");
        return result{};
    });
    report("-pack_id-show", file, unreadable, [&] { return do_dump_ucfg_pack_id(flash, dev); });
    report("-force-state-show", file, unreadable, [&] { return do_dump_ucfg_force_state(flash, dev); });
    // An image file has no version record: its read ends the run.
    report("-fw-version", file, !foreign, [&] {
        show_fw_version(flash, dev);
        return result{};
    });
    dump_partition(flash, file, fake, dev, image, dumped);
    FUZZ_CHECK(flash.writes == 0, std::to_string(flash.writes) + " writes to the flash");
    return 0;
}
