#include "report_stages.h"

#include <functional>

#include "report/factory_dump.h"
#include "report/fw_version_show.h"
#include "report/shows.h"
#include "report/ucfg_dumps.h"

result run_reports(const settings& s, flash_access& flash, const eth_dev* dev) {
    // Stages whose failure does not end the run give ok: their result is
    // not examined, only the channel's fault.
    auto unexamined = [](auto stage) {
        return [stage](flash_access& f, const eth_dev* d) {
            stage(f, d);
            return result{};
        };
    };
    const struct {
        bool wanted;
        std::function<result(flash_access&, const eth_dev*)> run;
    } stages[] = {
        {s.dump_ucfg_mac_sn != 0, do_dump_ucfg_mac_sn},
        {s.dump_cfg_partion1 != 0, unexamined(do_dump_partion1)},
        {s.show_si != 0, do_dump_ucfg_si},
        {s.show_sn || s.show_pn,
         [&s](flash_access& f, const eth_dev* d) { return do_show_sn_pn(f, d, s.show_sn != 0, s.show_pn != 0); }},
        {s.show_lldp != 0, do_dump_ucfg_lldp},
        {s.show_wol != 0, do_dump_ucfg_wol},
        {s.show_pName != 0, [](flash_access& f, const eth_dev* d) { return do_show_pName(f, d, true); }},
        {s.show_mac != 0, unexamined([](flash_access& f, const eth_dev* d) { do_show_mac(f, d, true); })},
        {s.show_pack_id != 0, do_dump_ucfg_pack_id},
        {s.show_force_state != 0, do_dump_ucfg_force_state},
        {s.show_version != 0, unexamined(show_fw_version)},
    };
    for (const auto& stage : stages) {
        if (!stage.wanted)
            continue;
        if (result r = stage.run(flash, dev); !r.ok())
            return r;
        if (!flash.fault().ok())
            return flash.fault();
    }
    return {};
}
