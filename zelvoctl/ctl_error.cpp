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
