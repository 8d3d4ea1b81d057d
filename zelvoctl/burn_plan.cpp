#include "burn_plan.h"

#include <algorithm>

#include "ctl_error.h"
#include "devices/port_count.h"
#include "devices/sysfs_file.h"
#include "flash_partitions.h"
#include "image/fw_prepare.h"
#include "image/image_file.h"
#include "base/flash_layout.h"

namespace {

[[noreturn]] void refuse(const std::string& why) { throw ctl_error(ctl_status::image_refused, why); }

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Where the partitions a firmware image runs over start, in image offsets.
struct reach {
    int partition;
    std::size_t offset;
};
std::vector<reach> reaches_of(const eth_dev& dev, int partion) {
    if (partion != PART_FW)
        return {{partion, 0}};
    const flash_layout& l = layout_for_chip_group(chip_group_of_device(dev.ddevice));
    return {{PART_FW, 0}, {PART_MAC_ADDR, l.ucfg.off}, {IPXE, l.pxe.off}};
}

}  // namespace

burn_plan plan_burn(flash_access& flash, const eth_dev& dev, const burn_options& o) {
    const flash_layout& layout = layout_for_chip_group(chip_group_of_device(dev.ddevice));
    burn_plan plan;
    if (!o.pxe.empty()) {
        auto pxe = read_file(o.pxe.c_str());
        if (!pxe)
            refuse(trimmed(cannot_read_message(o.pxe.c_str())));
        const std::size_t room = layout.pxe.size;
        if (pxe->size() > room)
            refuse("PXE image " + o.pxe + " holds " + std::to_string(pxe->size()) + " bytes, the card's PXE area " +
                   std::to_string(room));
        plan.steps.push_back({IPXE, std::move(*pxe)});
    }
    fw_image fw = prepare_fw_image(flash, &dev, o.fw.c_str(), o.overwrite_identity);
    if (fw.refusal == fw_refusal::record_unreadable)
        throw ctl_error(ctl_status::io_failure, trimmed(fw.message));
    if (!fw.ok())
        refuse(o.fw + ": " + trimmed(fw.message));
    if (fw.bytes.size() > layout.flash_size)
        refuse("firmware image " + o.fw + " holds " + std::to_string(fw.bytes.size()) + " bytes, the card's flash " +
               std::to_string(layout.flash_size));
    plan.trailer_renewed = fw.trailer == fw_trailer::renewed;
    // The card's record survives when it is spliced into the image, or when
    // the image stops before the user area.
    const char* how = fw.splice.length > 0                     ? "spliced into the image"
                      : fw.bytes.size() <= layout.ucfg.off ? "the image stops before the user area"
                                                           : nullptr;
    plan.identity = how ? json{{"kept", true}, {"how", how}, {"offset", hex(static_cast<u32>(fw.splice.offset))},
                               {"bytes", fw.splice.length}}
                        : json{{"kept", false}, {"how", "--overwrite-identity"}};
    plan.steps.push_back({PART_FW, std::move(fw.bytes)});
    for (burn_step& step : plan.steps) {
        // Bytes no read reaches (the user area past its record, the PCS/PHY
        // area past its reply) cannot be compared: a step counts as on the
        // card when every byte that can be compared is equal; --force writes
        // it anyway.
        const flash_comparison c = compare_with_card(flash, dev, step);
        step.on_card = c.equal;
        step.compared = c.reached;
    }
    return plan;
}

flash_comparison compare_with_card(flash_access& flash, const eth_dev& dev, const burn_step& step) {
    flash_comparison result;
    for (const reach& r : reaches_of(dev, step.partition)) {
        if (r.offset >= step.bytes.size())
            break;
        const std::vector<u8> now = read_partition(flash, dev, r.partition);
        const std::size_t n = std::min(now.size(), step.bytes.size() - r.offset);
        const auto want = step.bytes.begin() + static_cast<long>(r.offset);
        const auto [got_end, want_end] = std::mismatch(now.begin(), now.begin() + static_cast<long>(n), want);
        if (result.equal && got_end != now.begin() + static_cast<long>(n)) {
            result.equal = false;
            result.first_difference = r.offset + static_cast<std::size_t>(got_end - now.begin());
        }
        result.reached += n;
    }
    return result;
}

json burn_and_verify(flash_access& flash, const eth_dev& dev, const burn_plan& plan, bool force,
                     const progress& report, const std::string& restore_hint) {
    for (const burn_step& s : plan.steps) {
        if (s.on_card && !force)
            continue;
        const char* name = partition_by_number(s.partition).name;
        report.step(std::string("writing ") + name + " (" + std::to_string(s.bytes.size()) + " bytes)");
        try {
            write_partition(flash, dev, s.partition, s.bytes);
        } catch (const ctl_error& e) {
            throw ctl_error(e.status(), std::string(e.what()) + "; " + restore_hint);
        }
    }
    report.step("reading back");
    json verified = json::array();
    for (const burn_step& s : plan.steps) {
        const flash_comparison c = compare_with_card(flash, dev, s);
        if (!c.equal)
            throw ctl_error(ctl_status::problems, std::string("read-back of ") + partition_by_number(s.partition).name +
                                                      " on " + dev.name + " differs at byte " + hex(static_cast<u32>(c.first_difference)) +
                                                      "; " + restore_hint);
        verified.push_back({{"partition", partition_by_number(s.partition).name}, {"bytes_compared", c.reached}});
    }
    return verified;
}

json plan_json(const burn_plan& plan, bool force) {
    json steps = json::array();
    for (const burn_step& s : plan.steps)
        steps.push_back({{"partition", partition_by_number(s.partition).name},
                         {"bytes", s.bytes.size()},
                         {"bytes_compared", s.compared},
                         {"on_card", s.on_card},
                         {"write", force || !s.on_card}});
    return {{"partitions", steps}, {"identity", plan.identity}, {"trailer_renewed", plan.trailer_renewed}};
}
