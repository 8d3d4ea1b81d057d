#include "arg_parse.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exit_request.h"
#include "base/message_sink.h"

namespace {

bool is_table_end(const arg_option& o) { return o.short_name == nullptr && o.long_name == nullptr; }

const arg_option* find_option(const arg_option* opts, const char* name) {
    for (const arg_option* o = opts; !is_table_end(*o); ++o) {
        if (o->short_name && o->short_name[0] && std::strcmp(o->short_name, name) == 0)
            return o;
        if (o->long_name && std::strcmp(o->long_name, name) == 0)
            return o;
    }
    return nullptr;
}

int refuse_too_long(const char* typed, std::size_t room) {
    messages().print("arg:%s value too long, at most %d characters\n", typed, static_cast<int>(room));
    return -22;
}

// Converts and stores one value; 0, or -22 when the value cannot be stored.
int store_value(const arg_option& o, const char* typed, const char* value) {
    switch (o.conv_method) {
    case OPT_INT32: {
        auto v = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 0));
        std::memcpy(o.data, &v, sizeof v);
        if (o.dlen)
            *o.dlen = sizeof v;
        return 0;
    }
    case OPT_INT64: {
        unsigned long long v = std::strtoull(value, nullptr, 0);
        std::memcpy(o.data, &v, sizeof v);
        if (o.dlen)
            *o.dlen = sizeof v;
        return 0;
    }
    case OPT_HEX2BIN: {
        std::size_t need = (std::strlen(value) + 1) / 2;
        if (need > o.data_size)
            return refuse_too_long(typed, o.data_size * 2);
        int n = 0;
        hex2bin(static_cast<u8*>(o.data), o.data_size, value, &n);
        if (o.dlen)
            *o.dlen = n;
        return 0;
    }
    case OPT_STRING: {
        std::size_t len = std::strlen(value);
        if (o.data_size == 0 || len + 1 > o.data_size)
            return refuse_too_long(typed, o.data_size ? o.data_size - 1 : 0);
        std::memcpy(o.data, value, len + 1);
        if (o.dlen)
            *o.dlen = static_cast<int>(len);
        return 0;
    }
    default:
        messages().print("opt:%s arg_options->conv_method: invalid method:%d\n", typed, o.conv_method);
        return -22;
    }
}

void store_flag(const arg_option& o) {
    if (!o.data)
        return;
    u8 byte;
    if (o.conv_method == OPT_BOOL_SET_1)
        byte = 1;
    else if (o.conv_method == OPT_BOOL_SET_0)
        byte = 0;
    else
        return;
    std::memcpy(o.data, &byte, 1);  // a flag writes only the first byte of its target
}

}  // namespace

int is_valid_arg(const char* arg) { return std::strlen(arg) >= 2 && arg[0] == '-'; }

u8 c2d(char ch) {
    if (ch >= '0' && ch <= '9')
        return static_cast<u8>(ch - '0');
    if (ch >= 'a' && ch <= 'z')
        return static_cast<u8>(ch - 87);
    if (ch >= 'A' && ch <= 'Z')
        return static_cast<u8>(ch - 55);
    return 0;
}

void hex2bin(u8* out, std::size_t cap, const char* text, int* len) {
    std::size_t n = 0;
    while (*text && n < cap) {
        unsigned hi = c2d(text[0]);
        unsigned lo = text[1] ? c2d(text[1]) : 0;
        out[n++] = static_cast<u8>(hi * 16 + lo);
        text += text[1] ? 2 : 1;
    }
    if (len)
        *len = static_cast<int>(n);
}

void print_opts_usages(const arg_option* opts) {
    messages().print("Usage:\n");
    for (const arg_option* o = opts; !is_table_end(*o); ++o) {
        if (!o->view)
            continue;
        messages().print("  %2s | %-10s %s %-8s %s\n", o->short_name ? o->short_name : "",
                    o->long_name ? o->long_name : "", o->has_arg ? "<arg>" : "\t", "\t", o->descripts);
    }
    end_process(0);
}

int parse_args(const arg_option* opts, int argc, const char* const* argv) {
    int i = 1;
    while (i < argc) {
        const char* typed = argv[i];
        if (!is_valid_arg(typed))
            return i;
        const char* name = typed + 1;
        if (*name == '-')
            ++name;  // one or two dashes are the same; a third stays in the name
        const arg_option* o = *name ? find_option(opts, name) : nullptr;
        if (*name && (std::strcmp(name, "help") == 0 || std::strcmp(name, "h") == 0))
            print_opts_usages(opts);
        if (!o) {
            messages().print("invalid arg:%s index:%d\n", typed, i);
            print_opts_usages(opts);
        }
        if (!o->has_arg) {
            store_flag(*o);
            i += 1;
            continue;
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value || (std::strlen(value) > 1 && value[0] == '-')) {
            messages().print("arg:%s need value\n", typed);
            return -22;
        }
        if (o->data && store_value(*o, typed, value) < 0)
            return -22;
        i += 2;
    }
    return i;
}
