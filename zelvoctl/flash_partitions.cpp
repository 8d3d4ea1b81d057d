#include "flash_partitions.h"

#include <array>
#include <string>

#include "ctl_error.h"
#include "stdout_capture.h"

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
std::string failure(const char* verb, const eth_dev& dev, int partion, int code, const stdout_capture& said) {
    std::string text = std::string(verb) + " partition " + partition_by_number(partion).name + " of " + dev.name +
                       " failed (" + std::to_string(code) + ")";
    const std::string detail = said.last_line();
    return detail.empty() ? text : text + ": " + detail;
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
    const stdout_capture said;
    const int n = flash.read_flash_partion(&dev, partion, nullptr, data);
    if (n < 0)
        throw ctl_error(ctl_status::io_failure, failure("reading", dev, partion, n, said));
    data.resize(static_cast<std::size_t>(n));
    return data;
}

void write_partition(flash_access& flash, const eth_dev& dev, int partion, std::span<const u8> data) {
    const stdout_capture said;
    const int rc = flash.write_flash_partion(&dev, partion, data);
    if (rc < 0)
        throw ctl_error(ctl_status::io_failure, failure("writing", dev, partion, rc, said));
}
