// A card for the report tests: partitions served from bytes the test builds,
// reads of `failing` refused, and any write a test failure (reports never write).
#pragma once

#include <map>

#include "devices/port_count.h"
#include "flash/flash_access.h"
#include "maintain/maintain.h"
#include "test_support.h"

namespace test_support {

struct report_flash final : flash_access {
    std::map<int, bytes> parts;  // by partition number
    int failing = 0;
    eth_dev dev;

    explicit report_flash(u16 ddevice = KV9_4_PORT_DEV) { dev.ddevice = ddevice; }
    int read_flash_partion(const eth_dev*, int partion, const char*, std::span<u8> out_buf) override {
        if (partion == failing)
            return -5;
        const bytes& b = parts[partion];
        std::copy_n(b.begin(), std::min(b.size(), out_buf.size()), out_buf.begin());
        return static_cast<int>(b.size());
    }
    int write_flash_partion(const eth_dev*, int partion, std::span<const u8>) override {
        ADD_FAILURE() << "a report wrote partition " << partion;
        return -5;
    }
};

}  // namespace test_support
