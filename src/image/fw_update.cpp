#include "fw_update.h"

#include <cstdio>

#include "../devices/sysfs_file.h"
#include "cli/exit_request.h"
#include "maintain/maintain.h"
#include "base/buf_dump.h"
#include "fw_prepare.h"
#include "image_file.h"
#include "base/message_sink.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
    messages().write(message.c_str());
    end_process(-1);
}

void update_pxe(const char* path, flash_access& flash, const eth_dev* dev) {
    std::optional<std::vector<u8>> pxe = read_file(path);
    if (!pxe)
        fail(cannot_read_message(path));
    if (flash.write_flash_partion(dev, IPXE, *pxe) != 0)
        fail("write PXE to flash failed \n");
}

void update_fw(const settings& s, flash_access& flash, const eth_dev* dev) {
    const fw_image img = prepare_fw_image(flash, dev, s.fw_bin, s.overwrite_all_usr_cfg != 0);
    if (!img.ok())
        fail(img.message);
    if (s.trace3() && img.splice.length > 0)
        buf_dump("xx", img.bytes.data() + img.splice.offset, img.splice.length);
    if (flash.write_flash_partion(dev, PART_FW, img.bytes) != 0)
        fail("write Firmware to flash faile \n");
}

}  // namespace

void update_pxe_and_fw(const settings& s, flash_access& flash, const eth_dev* dev) {
    if (image_path_given(s.pxe_bin))
        update_pxe(s.pxe_bin, flash, dev);
    if (image_path_given(s.fw_bin))
        update_fw(s, flash, dev);
}
