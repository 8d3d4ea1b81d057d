// One writing command's change to one card, as the history keeps it: the
// flash the command writes through (each write noted with its SHA-256), the
// serial number before and after, the backup taken, and the outcome. The
// history line is appended and synced when the command ends, in success or
// failure, whenever anything was written.
#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include "card_inventory.h"
#include "ctl_error.h"
#include "flash_layer.h"
#include "record_decode.h"

class session;

class card_change final : public flash_layer {
public:
    // Opens the history (throws io_failure before anything is written);
    // `inner` is the card's flash.
    card_change(session& s, flash_access& inner, std::string command, const card& c);

    int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname, std::span<u8> out_buf) override {
        return below([&] { return inner_.read_flash_partion(dev, partion, out_bin_fname, out_buf); });
    }
    int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) override;

    std::string serial_before, serial_after;  // "" when the record holds none
    std::string backup;                       // "" when none was taken
    json details = json::object();            // more members of the line

    bool written() const { return !images_.empty(); }

    // The command succeeded: its line, when it wrote anything. Throws
    // history_not_written saying that the card was written.
    void succeeded();
    // The command failed with `e`: its line, when it wrote anything; returns
    // the error to report, which says when the card was written and names
    // the backup, and the history's failure too.
    ctl_error failed(const ctl_error& e);

private:
    std::string record(ctl_status status, const std::string& message);
    std::string written_note() const;

    class history_file& history_;
    std::string command_;
    const card& card_;
    json images_ = json::array();
};

// Runs `work` (the command's writing part) and records its outcome in
// `change`; a failure is rethrown as card_change::failed reports it.
template <typename Work>
auto record_change(card_change& change, Work&& work) -> decltype(work()) {
    const auto attempt = [&]() -> decltype(work()) {
        try {
            return work();
        } catch (const ctl_error& e) {
            throw change.failed(e);
        } catch (const std::exception& e) {
            throw change.failed(ctl_error(ctl_status::io_failure, e.what()));
        }
    };
    if constexpr (std::is_void_v<decltype(work())>) {
        attempt();
        change.succeeded();
    } else {
        auto result = attempt();
        change.succeeded();
        return result;
    }
}
