#include "card_change.h"

#include "flash_partitions.h"
#include "history.h"
#include "session.h"
#include "sha256.h"

namespace {

json text_or_null(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

}  // namespace

card_change::card_change(session& s, flash_access& inner, std::string command, const card& c)
    : flash_layer(inner), history_(s.history()), command_(std::move(command)), card_(c) {}

int card_change::write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) {
    const int rc = below([&] { return inner_.write_flash_partion(dev, partion, data); });
    images_.push_back({{"partition", partition_by_number(partion).name},
                       {"bytes", data.size()},
                       {"sha256", sha256_hex(data)},
                       {"accepted", rc == 0}});
    return rc;
}

std::string card_change::record(ctl_status status, const std::string& message) {
    if (!written())
        return "";
    json line = {{"time", utc_now("%Y-%m-%dT%H:%M:%SZ")},
                       {"command", command_},
                       {"interface", card_.first->name},
                       {"pci_address", pci_address(*card_.first)},
                       {"device_id", hex(card_.first->ddevice, 4)},
                       {"serial_before", text_or_null(serial_before)},
                       {"serial_after", status == ctl_status::ok ? text_or_null(serial_after) : json(nullptr)},
                       {"images", images_},
                       {"backup", text_or_null(backup)},
                       {"result", status == ctl_status::ok ? "ok" : status_code(status)},
                       {"message", text_or_null(message)}};
    line.update(details);
    return history_.append(line);
}

std::string card_change::written_note() const {
    return "card " + pci_address(*card_.first) + " was written (" +
           (backup.empty() ? std::string("no backup was taken") : "its backup is " + backup) + ")";
}

void card_change::succeeded() {
    const std::string cause = record(ctl_status::ok, "");
    if (!cause.empty())
        throw ctl_error(ctl_status::history_not_written,
                        written_note() + ", but its history line could not be written to " + history_.path() + ": " + cause)
            .with("card_written", true)
            .with("backup", text_or_null(backup));
}

ctl_error card_change::failed(const ctl_error& e) {
    ctl_error out = e;
    out.with("card_written", written()).with("backup", text_or_null(backup));
    const std::string cause = record(e.status(), e.what());
    if (cause.empty())
        return out;
    ctl_error both(e.status(), std::string(e.what()) + "; " + written_note() + " and its history line could not be written to " +
                                   history_.path() + ": " + cause);
    both.with("card_written", true).with("backup", text_or_null(backup));
    return both;
}
