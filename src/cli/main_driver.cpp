#include "main_driver.h"

#include <cstdio>
#include <functional>
#include <vector>

#include "record/cfg.h"
#include "command_set.h"
#include "devices/device_scan.h"
#include "devices/device_select.h"
#include "devices/port_count.h"
#include "devices/sysfs_file.h"
#include "exit_request.h"
#include "flash/file_eeprom.h"
#include "flash/maintain_channel.h"
#include "image/fw_update.h"
#include "image/gen_bin.h"
#include "image/image_file.h"
#include "maintain/maintain.h"
#include "record/run_context.h"
#include "report_stages.h"
#include "settings.h"
#include "ucfg/feature_settings.h"
#include "ucfg/identity.h"
#include "ucfg/mac_address.h"
#include "ucfg/si_settings.h"
#include "ucfg/ucfg_store.h"
#include "base/message_sink.h"

namespace {

constexpr char VERSION[] = "1.0.0";

// Every examined failure ends the whole run at once; nothing is rolled back.
[[noreturn]] void fail(const char* message) {
    messages().print("%s\n", message);
    end_process(-1);
}

// A failure after flash access: the channel's own fault ends the run when
// there is one (it has been shown), otherwise `message` does.
[[noreturn]] void fail(const flash_access& flash, const char* message) {
    if (!flash.fault().ok())
        end_run(flash.fault());
    fail(message);
}

// Ends the run on a failure the library handed up; it has said why.
void end_on(const result& r) {
    if (!r.ok())
        end_run(r);
}

si_port_texts si_texts(const settings& s) {
    si_port_texts texts{};
    for (int n = 0; n < MAX_PORTS; ++n)
        texts[static_cast<std::size_t>(n)] = s.si_port(n);
    return texts;
}

image_request image_request_of(const settings& s) {
    return {s.pxe_bin, s.fw_bin, s.overwrite_all_usr_cfg != 0, s.trace3()};
}

// Consecutive addresses from -mac-p0 over -ports ports of this card.
void set_port_macs(const settings& s, ucfg_mac_sn* cfg_cur, int max_valid_port_num) {
    if (!s.in_mac_addr_p0[0])
        return;
    if (!mac_p0_batch_set(cfg_cur, s.in_mac_addr_p0, s.port_cnts_of_card, max_valid_port_num).ok())
        end_process(-1);  // the setter has said why
}

// -si for the selected port, then -si-p0 .. -si-p7.
void set_serdes(const settings& s, ucfg_mac_sn* cfg_cur, const eth_dev* dev) {
    if (s.si_str[0]) {
        si lanes[4] = {};
        const int n = str_2_si_v2(s.si_str, lanes, s.trace2());
        if (n < 0)
            end_process(-1);  // the parser has said why
        if (n < 1) {
            messages().print("invalid si input:%s\n", s.si_str);
            end_process(-1);
        }
        if (n == 1) {
            // One lane names one record entry, which a port outside 0..7 does not have.
            if (do_si_set(dev->port_id, cfg_cur, lanes[0].tx_eq_main, lanes[0].tx_eq_pre, lanes[0].tx_eq_post,
                          lanes[0].boost) != 0) {
                messages().print("invalid si port:%d\n", dev->port_id);
                end_process(-1);
            }
        } else {
            do_si_set_25_40g(dev->port_id, cfg_cur, lanes[0], lanes[1], lanes[2], lanes[3]);
        }
    }
    end_on(cfg_si_batch_set(cfg_cur, si_texts(s), s.trace2()));
}

void set_feature_batches(const settings& s, ucfg_mac_sn* cfg_cur) {
    const struct {
        std::function<result()> set;
        const char* failure;
    } batches[] = {
        {[&] { return cfg_led_batch_set(cfg_cur, s.led_str); }, "cfg_led_batch_set fialed "},
        {[&] { return cfg_lldp_batch_set(cfg_cur, s.lldp_status_str, s.lldp_txIntval_str); },
         "cfg_lldp_batch_set fialed "},
        {[&] { return cfg_wol_batch_set(cfg_cur, s.wol_mode_str, s.wol_en_str); }, "cfg_wol_batch_set fialed "},
        {[&] { return cfg_pack_id_batch_set(cfg_cur, s.pack_id_str); }, "cfg_pack_id_batch_set fialed "},
        {[&] { return cfg_force_state_batch_set(cfg_cur, s.force_status_str); }, "cfg_force_state_batch_set fialed "},
    };
    for (const auto& b : batches) {
        const result r = b.set();
        if (r.code == fault_code::invalid_value)
            end_run(r);  // the parser has said why
        if (!r.ok())
            fail(b.failure);
    }
}

// -mac for the selected port; a text that is not an address ends the run.
void parse_port_mac(const settings& s, u8* mac_addr) {
    if (str_2_mac(s.in_mac_addr, mac_addr) != 0) {
        messages().print("invalid mac-addr:[%s]\n", s.in_mac_addr);
        end_process(-1);
    }
}

void set_lane_flags(const settings& s, ucfg_mac_sn* cfg_cur, const eth_dev* dev) {
    if ((s.in_an_en != -1 || s.in_link_traing != -1 || s.in_fec != -1) &&
        lane_misc_set(cfg_cur, dev->port_id, s.in_an_en, s.in_link_traing, s.in_fec) != 0)
        fail("set faild!");
}

// The selected port's own address and lane flags, then the card's texts.
void set_port_and_identity(const settings& s, ucfg_mac_sn* cfg_cur, const eth_dev* dev) {
    if (s.in_mac_addr[0]) {
        u8 mac_addr[8] = {};
        parse_port_mac(s, mac_addr);
        if (mac_set(cfg_cur, dev->port_id, mac_addr) < 0)
            fail("mac set faild!");
    }
    set_lane_flags(s, cfg_cur, dev);

    if (s.vdp_pn_valid >= 0 && sn_pn_set(cfg_cur, s.vdp_pn, 0) != 0)
        fail("pn set faild");
    if (s.vdp_sn_valid >= 0 && sn_pn_set(cfg_cur, s.vdp_sn, 1) != 0)
        fail("sn set faild");
    if (s.vdp_pName_valid >= 0 && pName_set(cfg_cur, s.vdp_pName) != 0)
        fail("product name set faild");
}

// The pipeline's first write: the erase, else the images; the save comes
// after every stage that could refuse a value anyway.
enum class first_write { none, erase, images };

first_write first_write_of(const settings& s) {
    if (s.do_reset_cfg)
        return first_write::erase;
    if (image_path_given(s.pxe_bin) || image_path_given(s.fw_bin))
        return first_write::images;
    return first_write::none;
}

// Runs, in pipeline order, every check of an option value that a stage after
// `before` makes, with the stages' own parsers and setters on a scratch
// record: a value that stage would refuse ends the run here with its message
// and status, before the write. Prints nothing else (no traces, no address
// lines) and leaves the run's change marker as it was.
void refuse_bad_values(const settings& s, flash_access& flash, const eth_dev* dev, int max_valid_port_num,
                       first_write before) {
    const run_context dry_run;
    settings quiet = s;
    quiet.verbose2 = quiet.verbose3 = 0;
    ucfg_mac_sn scratch{};
    if (before == first_write::erase) {
        if (s.in_mac_addr_p0[0] && !mac_p0_batch_check(s.in_mac_addr_p0, s.port_cnts_of_card, max_valid_port_num).ok())
            end_process(-1);
        end_on(check_pxe_and_fw_files(image_request_of(s), flash, dev));
    }
    set_serdes(quiet, &scratch, dev);
    set_feature_batches(quiet, &scratch);
    if (s.in_mac_addr[0]) {
        u8 mac_addr[8] = {};
        parse_port_mac(s, mac_addr);
        if (!record_has_port(dev->port_id))
            fail("mac set faild!");
    }
    set_lane_flags(s, &scratch, dev);
    // The texts of -sn, -pn and -pName are never refused here.
    if (s.dump_para > 0 && !partion_in_range(s.dump_para))
        fail("read flash dump_para failed ");
}

// One device's pass: load its record, apply every requested setting to the
// copy in memory, write images, dump and show what the flash holds, and save
// the record when any setter of the run changed something. A value that a
// stage would refuse ends the pass before its first write.
void run_pipeline(const settings& s, flash_access& flash, const eth_dev* dev, int max_valid_port_num) {
    const first_write writes = first_write_of(s);
    if (writes == first_write::erase) {
        refuse_bad_values(s, flash, dev, max_valid_port_num, writes);
        if (reset_ucfg_mac_sn(flash, dev) != 0)
            fail(flash, "do_reset_cfg failed ");
    }

    ucfg_mac_sn cfg_cur{};
    if (load_mac_sn(flash, dev, &cfg_cur, s.trace2()) != 0)
        fail(flash, "canot load mac-sn from flash");

    set_port_macs(s, &cfg_cur, max_valid_port_num);
    if (writes == first_write::images)
        refuse_bad_values(s, flash, dev, max_valid_port_num, writes);
    end_on(update_pxe_and_fw(image_request_of(s), flash, dev));
    set_serdes(s, &cfg_cur, dev);
    set_feature_batches(s, &cfg_cur);
    set_port_and_identity(s, &cfg_cur, dev);

    // The partition as it stands before this run's save.
    if (s.dump_para > 0 && flash.read_flash_partion(dev, s.dump_para, s.out_bin_f, {}) < 0)
        fail(flash, "read flash dump_para failed ");
    end_on(run_reports(s, flash, dev));  // what the flash holds before the save

    if (ucfg_mac_sn_dirty && save_mac_sn(flash, dev, &cfg_cur, s.trace2()) != 0)
        fail(flash, "flash write faild!");
}

// The file-backed road: the image file stands in for one card's flash.
int run_on_eeprom_file(const settings& s) {
    auto image = read_file(s.in_file_eeprom_name);
    if (!image) {
        messages().print("read file %s failed \n", s.in_file_eeprom_name);
        return -1;
    }
    eth_dev fake_dev{};
    std::snprintf(fake_dev.name, sizeof fake_dev.name, "fake");
    fake_dev.port_id = 0;

    file_eeprom flash(&fake_dev, std::move(*image));
    messages().print("%s port%d\n", fake_dev.name, fake_dev.port_id);
    run_pipeline(s, flash, &fake_dev, 0);  // no port count on this road
    return 0;
}

// The interface named by -slot, -d and -i, a later one replacing an earlier
// one; nullptr when none is given. A selector that does not resolve ends the run.
const eth_dev* select_interface(const settings& s, device_list& zelvo_devices) {
    const eth_dev* net_dev = nullptr;
    if (s.in_pci_slot[0]) {
        net_dev = find_device_by_pci_slot(zelvo_devices, s.in_pci_slot);
        if (!net_dev) {
            messages().print("no ethernet devices for %s\n", s.in_pci_slot);
            end_process(-1);
        }
        messages().print("%s %s\n", s.in_pci_slot, net_dev->name);
    }
    if (s.dev_in[0]) {
        net_dev = find_device_by_name(zelvo_devices, s.dev_in);
        if (!net_dev) {
            messages().print("no ethernet devices found for %s\n", s.dev_in);
            end_process(-1);
        }
    }
    if (s.nr_device >= 0) {
        net_dev = find_device_by_idx(zelvo_devices, s.nr_device);
        if (!net_dev) {
            messages().print("no ethernet devices found for %d\n", s.nr_device);
            end_process(-1);
        }
    }
    return net_dev;
}

// The live road: scan, then list, or select one interface or every card,
// and run the pipeline on each.
int run_on_devices(const settings& s, int argc, const option_table& opts) {
    device_list zelvo_devices;
    list_all_zelvo_devices(zelvo_devices, s.trace3());

    if (s.do_list_devices) {
        print_deivces(zelvo_devices);
        return 0;
    }

    const eth_dev* net_dev = select_interface(s, zelvo_devices);

    std::vector<eth_dev> cards;
    if (s.in_all_device) {
        if (find_all_device(zelvo_devices, cards) < 1) {
            messages().print("no ethernet devices found\n");
            return -1;
        }
        messages().print("get %d device info\n", static_cast<int>(cards.size()));
    } else if (!net_dev) {
        if (argc <= 1) {
            print_deivces(zelvo_devices);
            return 0;
        }
        messages().print("please select device by -i or -d\n\n");
        print_opts_usages(opts.data());
    } else {
        cards.push_back(*net_dev);
    }

    maintain_channel flash(s.verbose2 != 0);
    for (const eth_dev& dev : cards) {
        // Each card is sized by its own device id.
        int max_valid_port_num = net_card_max_port_cnt(&dev);
        if (max_valid_port_num == 0)
            fail("max_valid_port_num number is 0 ");
        messages().print("%s port%d\n", dev.name, dev.port_id);
        run_pipeline(s, flash, &dev, max_valid_port_num);
    }
    return 0;
}

}  // namespace

gen_bin_request gen_bin_request_of(const settings& s) {
    gen_bin_request q;
    q.fw_bin = s.fw_bin;
    q.pxe_bin = s.pxe_bin;
    q.out_file = s.out_bin_f;
    q.pci_link = s.in_pci_speed;
    q.ports = s.port_cnts_of_card;
    q.mac_p0 = s.in_mac_addr_p0;
    q.sn = s.vdp_sn_valid >= 0 ? s.vdp_sn : nullptr;
    q.pn = s.vdp_pn_valid >= 0 ? s.vdp_pn : nullptr;
    q.pName = s.vdp_pName_valid >= 0 ? s.vdp_pName : nullptr;
    q.si = si_texts(s);
    q.led = s.led_str;
    q.lldp_status = s.lldp_status_str;
    q.lldp_interval = s.lldp_txIntval_str;
    q.wol_mode = s.wol_mode_str;
    q.wol_enable = s.wol_en_str;
    q.force_state = s.force_status_str;
    q.trace = s.trace2();
    return q;
}

int kv7update_tool_main(int argc, char** argv) {
    settings s;
    stdout_sink standard_output;
    const run_context run(standard_output);
    option_table opts = build_opts(s);
    if (parse_args(opts.data(), argc, argv) < 0)
        return -1;

    if (!s.be_quiet)
        messages().print("Zelvo flash update tools: %s build:%s,%s\n\n", VERSION, __DATE__, __TIME__);

    if (s.gen_bin)
        return do_gen_bin(gen_bin_request_of(s), g_chip_group) == 0 ? 0 : -1;  // no device is scanned on this road
    if (s.in_file_eeprom_name[0])
        return run_on_eeprom_file(s);
    return run_on_devices(s, argc, opts);
}
