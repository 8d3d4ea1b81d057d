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
        plan.steps.push_back({IPXE, std::move(*pxe), layout.pxe.off, {}});
    }
    fw_image fw = prepare_fw_image(flash, &dev, o.fw.c_str(), o.overwrite_identity);
    if (fw.refusal == fw_refusal::record_unreadable)
        throw ctl_error(ctl_status::io_failure, trimmed(fw.message));
    if (!fw.ok())
        refuse(o.fw + ": " + trimmed(fw.message));
    if (fw.bytes.size() > layout.flash_size)
        refuse("firmware image " + o.fw + " holds " + std::to_string(fw.bytes.size()) + " bytes, the card's flash " +
               std::to_string(layout.flash_size));
    if (!o.pxe.empty() && fw.bytes.size() > layout.pxe.off)
        refuse("firmware image " + o.fw + " runs over the PXE area (from " + hex(layout.pxe.off, 5) +
               "): give the PXE image inside it or leave --pxe out");
    if (layout.chip_group == KV3_CHIP_GROUP && fw.bytes.size() > layout.pcsphy.off)
        refuse("firmware image " + o.fw + " holds " + std::to_string(fw.bytes.size()) + " bytes and would run over the " +
               "card's trim area (from " + hex(layout.pcsphy.off, 5) + ")");
    plan.trailer_renewed = fw.trailer == fw_trailer::renewed;
    // The card's record survives when it is spliced into the image, or when
    // the image stops before the user area.
    const char* how = fw.splice.length > 0                     ? "spliced into the image"
                      : fw.bytes.size() <= layout.ucfg.off ? "the image stops before the user area"
                                                           : nullptr;
    plan.identity = how ? json{{"kept", true}, {"how", how}, {"offset", hex(static_cast<u32>(fw.splice.offset))},
                               {"bytes", fw.splice.length}}
                        : json{{"kept", false}, {"how", "--overwrite-identity"}};
    plan.steps.push_back({PART_FW, std::move(fw.bytes), layout.fw.off, {}});
    // Bytes no read reaches (the user area past its record, the PCS/PHY area
    // past its reply) cannot be compared: a step counts as on the card when
    // every byte that can be compared is equal; --force writes it anyway.
    for (burn_step& step : plan.steps)
        step.areas = compare_areas(flash, dev, step.at, step.bytes);
    return plan;
}

const area_comparison* first_differing(const std::vector<area_comparison>& areas) {
    for (const area_comparison& a : areas)
        if (a.differing > 0)
            return &a;
    return nullptr;
}

bool burn_step::on_card() const { return first_differing(areas) == nullptr; }

std::size_t burn_step::compared() const {
    std::size_t n = 0;
    for (const area_comparison& a : areas)
        n += a.compared;
    return n;
}

json burn_and_verify(flash_access& flash, const eth_dev& dev, const burn_plan& plan, bool force,
                     const progress& report, const std::string& restore_hint) {
    for (const burn_step& s : plan.steps) {
        if (s.on_card() && !force)
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
        const std::vector<area_comparison> now = read_back(restore_hint, [&] { return compare_areas(flash, dev, s.at, s.bytes); });
        if (const area_comparison* d = first_differing(now))
            throw ctl_error(ctl_status::problems, std::string("read-back of ") + partition_by_number(s.partition).name +
                                                      " on " + dev.name + " differs at byte " +
                                                      hex(static_cast<u32>(d->first_difference - s.at)) + " (" + d->area +
                                                      " area); " + restore_hint);
        verified.push_back({{"partition", partition_by_number(s.partition).name}, {"areas", areas_json(now)}});
    }
    return verified;
}

json areas_json(const std::vector<area_comparison>& areas) {
    json list = json::array();
    for (const area_comparison& a : areas)
        list.push_back({{"area", a.area},
                        {"bytes", a.bytes},
                        {"bytes_compared", a.compared},
                        {"bytes_unreadable", a.unreadable()},
                        {"bytes_differing", a.differing}});
    return list;
}

json plan_json(const burn_plan& plan, bool force) {
    json steps = json::array();
    for (const burn_step& s : plan.steps)
        steps.push_back({{"partition", partition_by_number(s.partition).name},
                         {"bytes", s.bytes.size()},
                         {"bytes_compared", s.compared()},
                         {"areas", areas_json(s.areas)},
                         {"on_card", s.on_card()},
                         {"write", force || !s.on_card()}});
    return {{"partitions", steps}, {"identity", plan.identity}, {"trailer_renewed", plan.trailer_renewed}};
}

std::optional<ucfg_mac_sn> burn_plan::written_record(const eth_dev& dev) const {
    const flash_layout& layout = layout_for_chip_group(chip_group_of_device(dev.ddevice));
    for (const burn_step& s : steps)
        if (s.partition == PART_FW && s.bytes.size() >= layout.ucfg.off + sizeof(ucfg_mac_sn))
            return record_from_bytes(std::span(s.bytes).subspan(layout.ucfg.off, sizeof(ucfg_mac_sn)));
    return std::nullopt;
}
