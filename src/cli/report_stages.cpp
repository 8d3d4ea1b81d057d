#include "report_stages.h"

#include "report/factory_dump.h"
#include "report/fw_version_show.h"
#include "report/shows.h"
#include "report/ucfg_dumps.h"

void run_reports(const settings& s, flash_access& flash, const eth_dev* dev) {
    if (s.dump_ucfg_mac_sn)
        do_dump_ucfg_mac_sn(flash, dev);
    if (s.dump_cfg_partion1)
        do_dump_partion1(flash, dev);
    if (s.show_si)
        do_dump_ucfg_si(flash, dev);
    if (s.show_sn || s.show_pn)
        do_show_sn_pn(flash, dev, s.show_sn != 0, s.show_pn != 0);
    if (s.show_lldp)
        do_dump_ucfg_lldp(flash, dev);
    if (s.show_wol)
        do_dump_ucfg_wol(flash, dev);
    if (s.show_pName)
        do_show_pName(flash, dev, s.show_pName != 0);
    if (s.show_mac)
        do_show_mac(flash, dev, s.show_mac != 0);
    if (s.show_pack_id)
        do_dump_ucfg_pack_id(flash, dev);
    if (s.show_force_state)
        do_dump_ucfg_force_state(flash, dev);
    if (s.show_version)
        show_fw_version(flash, dev);
}
