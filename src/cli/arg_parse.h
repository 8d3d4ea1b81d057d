// A small table-driven option parser. The table is an array of arg_option
// closed by a record whose short and long names are both null; parsing stores
// each option's value where its record points and stops at the first argument
// that is not an option. It knows nothing of the rest of the tool.
#pragma once

#include <cstddef>

#include "base/types.h"

enum { OPT_NO_ARG = 0, OPT_HAS_ARG = 1 };

enum {
    OPT_BOOL_SET_1 = 0,  // flag: stores the byte 1
    OPT_BOOL_SET_0 = 1,  // flag: stores the byte 0
    OPT_INT32 = 2,       // value: strtoul base 0, low 32 bits
    OPT_INT64 = 3,       // value: strtoull base 0
    OPT_HEX2BIN = 4,     // value: bytes from hexadecimal text
    OPT_STRING = 5,      // value: the text and its terminator
};

struct arg_option {
    const char* short_name;  // without the dash; "" when none
    const char* long_name;   // without the dashes
    int has_arg;
    void* data;              // may be null: the option is accepted, its value skipped
    int conv_method;
    int* dlen;               // optional: size of what was stored
    const char* descripts;
    int view;                // 0: accepted but not listed by the usage
    std::size_t data_size;   // room at `data` for methods 4 and 5; longer values are refused
};

// Returns the index of the first argument not consumed, or -22 when an option
// lacks its value, its value does not fit, or its method is unknown. Ends the
// process with status 0 after printing the usage (-h, -help, unknown option).
int parse_args(const arg_option* opts, int argc, const char* const* argv);

// Prints the usage listing of the table and ends the process with status 0.
[[noreturn]] void print_opts_usages(const arg_option* opts);

// Converts hexadecimal text, two digits per byte, writing at most `cap` bytes.
// A lone last digit gives 16 times its value. `len` receives the byte count.
void hex2bin(u8* out, std::size_t cap, const char* text, int* len);

// Digit value: '0'-'9' 0-9, letters 10-35 in either case, anything else 0.
u8 c2d(char ch);

// At least two characters and a leading dash.
int is_valid_arg(const char* arg);
