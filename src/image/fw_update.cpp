#include "fw_update.h"

#include <cstdio>

#include "devices/sysfs_file.h"
#include "maintain/maintain.h"
#include "base/buf_dump.h"
#include "fw_prepare.h"
#include "image_file.h"
#include "base/message_sink.h"

namespace {

// The channel's fault when the run ends by one; otherwise failed after `message`.
result fail(const flash_access& flash, const std::string& message) {
    if (!flash.fault().ok())
        return flash.fault();
    messages().write(message);
    return result::fail(fault_code::failed, message);
}

std::optional<std::vector<u8>> read_pxe(const char* path) { return read_file(path); }

result update_pxe(const char* path, flash_access& flash, const eth_dev* dev) {
    const std::optional<std::vector<u8>> pxe = read_pxe(path);
    if (!pxe)
        return fail(flash, cannot_read_message(path));
    if (flash.write_flash_partion(dev, IPXE, *pxe) != 0)
        return fail(flash, "write PXE to flash failed \n");
    return {};
}

result update_fw(const image_request& q, flash_access& flash, const eth_dev* dev) {
    const fw_image img = prepare_fw_image(flash, dev, q.fw_bin, q.overwrite_all_usr_cfg);
    if (!img.ok())
        return fail(flash, img.message);
    if (q.trace3 && img.splice.length > 0)
        buf_dump("xx", img.bytes.data() + img.splice.offset, img.splice.length);
    if (flash.write_flash_partion(dev, PART_FW, img.bytes) != 0)
        return fail(flash, "write Firmware to flash faile \n");
    return {};
}

}  // namespace

result update_pxe_and_fw(const image_request& q, flash_access& flash, const eth_dev* dev) {
    if (image_path_given(q.pxe_bin))
        if (result r = update_pxe(q.pxe_bin, flash, dev); !r.ok())
            return r;
    if (image_path_given(q.fw_bin))
        return update_fw(q, flash, dev);
    return {};
}

result check_pxe_and_fw_files(const image_request& q, flash_access& flash, const eth_dev* dev) {
    if (image_path_given(q.pxe_bin) && !read_pxe(q.pxe_bin))
        return fail(flash, cannot_read_message(q.pxe_bin));
    if (!image_path_given(q.fw_bin))
        return {};
    // Without the record carried over, preparing the image reads no flash.
    const fw_image img = prepare_fw_image(flash, dev, q.fw_bin, true);
    if (!img.ok())
        return fail(flash, img.message);
    return {};
}
