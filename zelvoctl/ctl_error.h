// The exit statuses of zelvoctl and the one error type every command throws.
// Each status is its own number so that scripts can tell failures apart; the
// code is the stable word that JSON errors carry.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "base/result.h"

enum class ctl_status : int {
    ok = 0,
    problems = 1,      // check found problems, or a read-back/verification mismatch
    usage = 2,         // bad command line, field, value or manifest
    not_found = 3,     // no such device
    image_refused = 4, // a firmware or PXE image that must not go onto this card
    io_failure = 5,    // the flash channel or a file failed
    lock_timeout = 6,  // the card's maintain file stayed locked
    history_not_written = 7,  // the card was changed, but its history line could not be written
};

// Stable code of a status, as JSON errors carry it.
const char* status_code(ctl_status status);

// The status of a failure the library handed up: the maintain lock not had
// (or not released) is lock_timeout, a refused value usage, anything else an
// I/O failure.
ctl_status ctl_status_of(const result& r);

class ctl_error : public std::runtime_error {
public:
    ctl_error(ctl_status status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    ctl_status status() const { return status_; }

    // More members of the JSON error object (whether the card was written,
    // the backup to restore from).
    const nlohmann::ordered_json& details() const { return details_; }
    ctl_error& with(const std::string& key, nlohmann::ordered_json value) {
        details_[key] = std::move(value);
        return *this;
    }

private:
    ctl_status status_;
    nlohmann::ordered_json details_ = nlohmann::ordered_json::object();
};

// What a step that failed with `e` fails by when its channel met a
// run-ending `fault` meanwhile: a bare I/O failure becomes the fault's own
// status, told by the library's last line `said` (or the fault's message).
ctl_error by_fault(const ctl_error& e, const result& fault, const std::string& said);

// The status of a command that read many cards, after one of them could not
// be read (`code` is its error's status_code, "" when it was read): a lock
// time-out (6) outranks an I/O failure (5), which outranks problems found.
ctl_status worse_for_unread_card(ctl_status so_far, const std::string& code);

// Runs `read`, a read-back after the card was written: a failure is rethrown
// with its status, saying that the card was written and what `restore_hint`
// says to do.
template <typename Read>
auto read_back(const std::string& restore_hint, Read&& read) -> decltype(read()) {
    try {
        return read();
    } catch (const ctl_error& e) {
        throw ctl_error(e.status(), std::string(e.what()) + "; the card was written; " + restore_hint);
    }
}
