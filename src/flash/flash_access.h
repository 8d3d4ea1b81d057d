// The only way the tool reaches a card's flash: one partition read or write.
// The live channel implements it over the maintain file, the file-backed
// EEPROM over an image in memory; tests hand in fakes.
#pragma once

#include <cerrno>
#include <span>
#include <utility>

#include "devices/eth_dev.h"
#include "base/result.h"
#include "base/types.h"

// What one partition access of a channel comes to: the byte count, 0, or a
// negative error number, and, when the run cannot go on (the lock not had in
// time, a request not sent, a reply header not read), why.
struct flash_outcome {
    int value = 0;
    result fault;  // not ok: value is negative
};

// The outcome of a failure that ends the run.
inline flash_outcome run_ending(int value, fault_code code, std::string message = {}) {
    return {value, result::fail(code, std::move(message))};
}

class flash_access {
public:
    virtual ~flash_access() = default;

    // Reads partition `partion` (1..PART_MAX) of `dev`. When `out_bin_fname`
    // is given the data is saved to that file; when `out_buf` is not empty the
    // data is copied into it (never more than it holds). Returns the number of
    // data bytes, or a negative error number.
    virtual int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                                   std::span<u8> out_buf) = 0;

    // Replaces the content of partition `partion` of `dev` with `data`.
    // Returns 0, or a negative error number.
    virtual int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) = 0;

    // Whether a later read shows what a write stored. False for a flash image
    // file, whose writes are accepted and dropped, so checking them is moot.
    virtual bool keeps_writes() const { return true; }

    // The failure that ends the run, once one happened; ok until then. From
    // then on every read and write fails at once (-ECANCELED) and says
    // nothing, so callers only have to hand it up without further messages.
    const result& fault() const { return fault_; }
    // Hands the fault over to a front end that goes on with other cards on
    // this channel; the channel then serves again.
    result take_fault() { return std::exchange(fault_, result{}); }

protected:
    // Keeps a run-ending fault of `o`; returns its value.
    int settle(flash_outcome o) {
        if (!o.fault.ok())
            fault_ = std::move(o.fault);
        return o.value;
    }
    bool run_ended() const { return !fault_.ok(); }

private:
    result fault_;
};
