// How a step of the library ended, as a value. A layer that meets a failure
// shows its text through the message sink as it always has and hands the
// failure up as a result; the front end decides what the run does with it
// (kv7update_tool ends with its status, zelvoctl maps the code to its own).
#pragma once

#include <string>
#include <utility>

enum class fault_code : int {
    none = 0,
    failed,         // a step failed and said why
    invalid_value,  // a value given for a record field is malformed or out of range
    io,             // the flash channel broke: a request not sent, a reply not read
    lock_timeout,   // the maintain lock was not had in time
    lock_release,   // the maintain lock could not be released
};

struct result {
    fault_code code = fault_code::none;
    std::string message;  // what the layer said about it; may be empty

    bool ok() const { return code == fault_code::none; }
    static result fail(fault_code code, std::string message = {}) { return {code, std::move(message)}; }
};
