#include "maintain_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "record/cfg.h"
#include "maintain/maintain.h"

namespace zsim {

namespace {

bool header_valid(const maintain_req& h) {
    if (static_cast<u32>(h.magic) != MAINTAIN_MAGIC)
        return false;
    if (h.cmd != MT_READ_FLASH && h.cmd != MT_WRITE_FLASH)
        return false;
    if (!partion_in_range(h.arg0))
        return false;
    if (h.req_data_bytes < 0 ||
        static_cast<std::size_t>(h.req_data_bytes) > MAINTAIN_MAX_REQ - MAINTAIN_HDR_SZ)
        return false;
    return h.cmd != MT_READ_FLASH || h.reply_bytes >= MAINTAIN_HDR_SZ;
}

// Runs one fault counter down; true when the fault fires. -1 fires forever.
bool fire(int& count) {
    if (count == 0)
        return false;
    if (count > 0)
        --count;
    return true;
}

std::vector<u8> version_record(const card_cfg& card) {
    fw_version rec{};
    rec.cur_fw_version = card.fw_version;
    rec.cur_pxe_version = card.pxe_version;
    rec.magic = card.version == version_mode::bad_magic ? FW_VERSION_MAGIC - 1 : FW_VERSION_MAGIC;
    rec.availble_fw_version = card.fw_version;
    rec.availble_pxe_version = card.pxe_version;
    std::vector<u8> out(sizeof rec);
    std::memcpy(out.data(), &rec, sizeof rec);
    return out;
}

void serve_read(maintain_port& port, maintain_handle& h, const maintain_req& hd, logged_request& entry) {
    const card_state& card = *port.card;
    const u32 offered = static_cast<u32>(hd.reply_bytes - MAINTAIN_HDR_SZ);
    const auto area = partition_area(*card.map, hd.arg0);
    iface_faults f;
    bool empty_reply = false;
    {
        std::lock_guard lock(port.mu);
        f = port.faults;
        if (port.faults.fail_reads_after == 0)
            empty_reply = true;
        else if (port.faults.fail_reads_after > 0)
            --port.faults.fail_reads_after;
    }
    if (empty_reply) {
        h.reply.clear();
        return;
    }

    // What a well-behaved driver sends: the partition from its start, never
    // more than the room offered.
    u32 announced = 0;
    std::vector<u8> source;  // the partition's bytes, as far as any reply may reach
    const u32 reach = offered + static_cast<u32>(f.reply_extra);
    if (hd.arg0 == VERSION_INFO) {
        if (card.cfg->version_reply) {
            source = *card.cfg->version_reply;
            announced = std::min<u32>(static_cast<u32>(source.size()), offered);
        } else if (card.cfg->version != version_mode::missing) {
            source = version_record(*card.cfg);
            announced = std::min<u32>(static_cast<u32>(source.size()), offered);
        }
    } else if (area) {
        announced = std::min(area->size, offered);
        source = card.flash->read(area->off, f.reply_extra > 0 ? reach : announced);
    }
    if (f.reply_extra > 0)
        announced = reach;
    source.resize(std::max<std::size_t>(source.size(), announced), 0xff);
    const u32 served = announced - std::min<u32>(announced, static_cast<u32>(f.data_short_by));

    h.reply.assign(MAINTAIN_HDR_SZ, 0);
    encode_maintain_reply({static_cast<std::int32_t>(MAINTAIN_REPLY_MAGIC), hd.cmd, hd.arg0,
                           static_cast<std::int32_t>(announced), 0},
                          h.reply.data());
    h.reply.insert(h.reply.end(), source.begin(), source.begin() + served);
    if (f.short_header >= 0)
        h.reply.resize(static_cast<std::size_t>(f.short_header));
    entry.reply_data = static_cast<int>(announced);
}

int serve_write(maintain_port& port, const maintain_req& hd, std::span<const u8> payload,
                logged_request& entry) {
    int delay_ms;
    bool eio, lost = false;
    {
        std::lock_guard lock(port.mu);
        delay_ms = port.faults.write_delay_ms;
        eio = fire(port.faults.write_eio);
        if (!eio && hd.arg0 == PART_MAC_ADDR)
            lost = fire(port.faults.lose_user_writes);
        // A write lost here does not also use up a count of the fault above.
        if (!eio && !lost)
            lost = fire(port.faults.lose_writes);
    }
    if (delay_ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    if (eio) {
        entry.result = "eio";
        return EIO;
    }
    if (lost) {
        entry.result = "lost";
        return 0;
    }
    const card_state& card = *port.card;
    const auto area = partition_area(*card.map, hd.arg0);
    if (!area) {
        entry.result = "ignored";
        return 0;
    }
    // A firmware write may carry a whole flash image and run on into the
    // areas behind the firmware; every other partition stays in its area.
    const u32 room = hd.arg0 == PART_FW ? card.flash->size() - area->off : area->size;
    if (payload.size() > room) {
        entry.result = "enospc";
        return ENOSPC;
    }
    const int err = card.flash->write(area->off, payload);
    if (err)
        entry.result = err == ENOSPC ? "enospc" : "eio";
    return err;
}

}  // namespace

long maintain_write(maintain_port& port, maintain_handle& h, u64 off, std::span<const u8> data,
                    request_log& log) {
    if (off == 0)
        h.req.clear();  // every request is written from the file's start
    if (off != h.req.size()) {
        h.req.clear();
        return -EINVAL;
    }
    std::size_t n = data.size();
    {
        std::lock_guard lock(port.mu);
        if (port.faults.short_write > 0)
            n = std::min<std::size_t>(n, static_cast<std::size_t>(port.faults.short_write));
    }
    if (h.req.size() + n > MAINTAIN_MAX_REQ) {
        h.req.clear();
        return -EFBIG;
    }
    h.req.insert(h.req.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    if (h.req.size() < static_cast<std::size_t>(MAINTAIN_HDR_SZ))
        return static_cast<long>(n);

    const maintain_req hd = decode_maintain_req(h.req.data());
    logged_request entry;
    entry.iface = port.iface;
    entry.header = std::span<const u8>(h.req.data(), MAINTAIN_HDR_SZ);
    const std::size_t need = MAINTAIN_HDR_SZ + static_cast<std::size_t>(std::max(0, hd.req_data_bytes));
    if (!header_valid(hd) || h.req.size() > need) {
        entry.result = "einval";
        log.add(entry);
        h.req.clear();
        return -EINVAL;
    }
    if (h.req.size() < need)
        return static_cast<long>(n);

    entry.payload = std::span<const u8>(h.req.data() + MAINTAIN_HDR_SZ, need - MAINTAIN_HDR_SZ);
    int err = 0;
    h.reply.clear();
    if (hd.cmd == MT_READ_FLASH)
        serve_read(port, h, hd, entry);
    else
        err = serve_write(port, hd, entry.payload, entry);
    log.add(entry);
    h.req.clear();
    return err ? -err : static_cast<long>(n);
}

std::span<const u8> maintain_read(const maintain_handle& h, u64 off, std::size_t size) {
    if (off >= h.reply.size())
        return {};
    const std::size_t n = std::min<std::size_t>(size, h.reply.size() - off);
    return std::span<const u8>(h.reply.data() + off, n);
}

}  // namespace zsim
