#include "flash_partitions.h"

#include <array>
#include <string>

#include "ctl_error.h"
#include "base/message_sink.h"

namespace {

constexpr std::array<partition_info, 6> PARTITIONS{{
    {PART_FW, "firmware", "firmware.bin", true},
    {PART_CFG, "factory", "factory.bin", true},
    {PART_MAC_ADDR, "user", "user.bin", true},
    {PCSPHY, "pcsphy", "pcsphy.bin", true},
    {IPXE, "pxe", "pxe.bin", true},
    {VERSION_INFO, "version", "version.bin", false},  // the driver's report, not flash content
}};

// "partition NAME of DEV failed (CODE)", with the channel's own report of
// the fault when it printed one.
std::string failure(const char* verb, const eth_dev& dev, int partion, int code, const buffer_sink& said) {
    std::string text = std::string(verb) + " partition " + partition_by_number(partion).name + " of " + dev.name +
                       " failed (" + std::to_string(code) + ")";
    const std::string detail = said.last_line();
    return detail.empty() ? text : text + ": " + detail;
}

// Runs one access; a negative result, or a fault of the channel that ends
// the run (a lock not had in time, a reply header that cannot be read),
// becomes a ctl_error.
int checked(const char* verb, flash_access& flash, const eth_dev& dev, int partion, auto access) {
    buffer_sink said;
    int rc;
    {
        const sink_scope during(said);
        rc = access();
    }
    messages().write(said.text());  // the run's own sink keeps what was said
    messages().write_error(said.errors());
    if (!flash.fault().ok()) {
        // The error carries the fault from here; the channel serves other cards.
        const ctl_status status = ctl_status_of(flash.take_fault());
        throw ctl_error(status, failure(verb, dev, partion, status == ctl_status::lock_timeout ? 1 : -1, said));
    }
    if (rc < 0)
        throw ctl_error(ctl_status::io_failure, failure(verb, dev, partion, rc, said));
    return rc;
}

}  // namespace

std::span<const partition_info> readable_partitions() { return PARTITIONS; }

const partition_info& partition_by_number(int number) {
    for (const auto& p : PARTITIONS)
        if (p.number == number)
            return p;
    throw ctl_error(ctl_status::usage, "no partition " + std::to_string(number));
}

std::vector<u8> read_partition(flash_access& flash, const eth_dev& dev, int partion) {
    std::vector<u8> data(static_cast<std::size_t>(partion_max_sz(partion)));
    const int n = checked("reading", flash, dev, partion, [&] { return flash.read_flash_partion(&dev, partion, nullptr, data); });
    data.resize(static_cast<std::size_t>(n));
    return data;
}

void write_partition(flash_access& flash, const eth_dev& dev, int partion, std::span<const u8> data) {
    checked("writing", flash, dev, partion, [&] { return flash.write_flash_partion(&dev, partion, data); });
}
