#include "ctl_error.h"

const char* status_code(ctl_status status) {
    switch (status) {
    case ctl_status::ok: return "ok";
    case ctl_status::problems: return "problems_found";
    case ctl_status::usage: return "usage";
    case ctl_status::not_found: return "device_not_found";
    case ctl_status::image_refused: return "image_refused";
    case ctl_status::io_failure: return "io_failure";
    case ctl_status::lock_timeout: return "lock_timeout";
    case ctl_status::history_not_written: return "history_not_written";
    }
    return "unknown";
}

ctl_status worse_for_unread_card(ctl_status so_far, const std::string& code) {
    if (code == status_code(ctl_status::lock_timeout))
        return ctl_status::lock_timeout;
    if (code.empty() || so_far == ctl_status::lock_timeout)
        return so_far;
    return ctl_status::io_failure;
}

ctl_error by_fault(const ctl_error& e, const result& fault, const std::string& said) {
    if (fault.ok() || e.status() != ctl_status::io_failure || ctl_status_of(fault) == ctl_status::io_failure)
        return e;
    ctl_error by(ctl_status_of(fault), !said.empty() ? said : fault.message.empty() ? "flash access failed" : fault.message);
    for (const auto& [key, value] : e.details().items())
        by.with(key, value);
    return by;
}

ctl_status ctl_status_of(const result& r) {
    switch (r.code) {
    case fault_code::none: return ctl_status::ok;
    case fault_code::lock_timeout:
    case fault_code::lock_release: return ctl_status::lock_timeout;
    case fault_code::invalid_value: return ctl_status::usage;
    case fault_code::failed:
    case fault_code::io: return ctl_status::io_failure;
    }
    return ctl_status::io_failure;
}
