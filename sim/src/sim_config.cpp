#include "sim_config.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "ucfg/mac_address.h"
#include "sim_error.h"

namespace zsim {

namespace {

constexpr char BUILT_IN[] = R"(# Built-in controllers of zelnic-sim.
order config
card 0000:03:00.0 device=0x8308 fw=1.6.3.0 pxe=2.1.4 mac=02:5a:e1:03:00:00 sn=ZS4P0300A17
function 0000:03:00.0
iface enp3s0f0 port=0 carrier=1
iface enp3s0f1 port=1 carrier=0
iface enp3s0f2 port=2 carrier=1
iface enp3s0f3 port=3 carrier=0
card 0000:04:00.0 device=0x8318 fw=1.6.3.0 pxe=2.1.4 mac=02:5a:e1:04:00:00 sn=ZS2P0400B02
function 0000:04:00.0
iface enp4s0f0 port=0 carrier=1
function 0000:04:00.1
iface enp4s0f1 port=1 carrier=0
card 0000:05:00.0 device=0x8208 fw=1.2.0.5 pxe=1.0.9 mac=02:5a:e1:05:00:00 sn=ZS1P0500C11
function 0000:05:00.0
iface enp5s0 port=0 carrier=1
)";

// The faults of one maintain file by their names in the config, in the order
// they are written out. A flag takes no value; a count takes one from lo to hi,
// or none when the name alone means -1 ("always").
struct fault_name {
    const char* name;
    bool iface_faults::*flag = nullptr;
    int iface_faults::*count = nullptr;
    int lo = 0, hi = 0;
    bool bare_is_always = false;
};

constexpr fault_name FAULT_NAMES[] = {
    {.name = "no-open", .flag = &iface_faults::no_open},
    {.name = "lose-user-writes", .count = &iface_faults::lose_user_writes, .lo = -1, .hi = 1000000,
     .bare_is_always = true},
    {.name = "lose-writes", .count = &iface_faults::lose_writes, .lo = -1, .hi = 1000000,
     .bare_is_always = true},
    {.name = "write-eio", .count = &iface_faults::write_eio, .lo = -1, .hi = 1000000,
     .bare_is_always = true},
    {.name = "short-write", .count = &iface_faults::short_write, .hi = 1 << 30},
    {.name = "reply-extra", .count = &iface_faults::reply_extra, .hi = 1 << 20},
    {.name = "short-header", .count = &iface_faults::short_header, .lo = -1, .hi = 19},
    {.name = "data-short-by", .count = &iface_faults::data_short_by, .hi = 1 << 30},
    {.name = "write-delay-ms", .count = &iface_faults::write_delay_ms, .hi = 3600 * 1000},
    {.name = "fail-reads-after", .count = &iface_faults::fail_reads_after, .hi = 1000000},
};

struct parser {
    std::string origin;
    int line_no = 0;
    sim_config cfg;
    std::set<std::string> iface_names;
    std::set<std::string> fn_addrs;

    [[noreturn]] void fail(const std::string& msg) const {
        throw sim_error(origin + ":" + std::to_string(line_no) + ": " + msg);
    }

    long number(const std::string& key, const std::string& text, long lo, long hi) const {
        errno = 0;
        char* end = nullptr;
        const long v = std::strtol(text.c_str(), &end, 0);
        if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
            fail(key + ": not a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                 ": '" + text + "'");
        return v;
    }

    u16 id16(const std::string& key, const std::string& text) const {
        return static_cast<u16>(number(key, text, 0, 0xffff));
    }

    mac_addr mac(const std::string& key, const std::string& text) const {
        mac_addr m{};
        unsigned b[6];
        char tail;
        if (text.size() != 17 ||
            std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4],
                        &b[5], &tail) != 6)
            fail(key + ": not a MAC address xx:xx:xx:xx:xx:xx: '" + text + "'");
        for (int i = 0; i < 6; ++i)
            m[i] = static_cast<u8>(b[i]);
        return m;
    }

    // "a.b.c[.d]" with `parts` parts of 0..255, packed as the version record
    // wants it: firmware most significant first, PXE least significant first.
    u32 version(const std::string& key, const std::string& text, int parts, bool msb_first) const {
        u32 word = 0;
        std::stringstream in(text);
        std::string part;
        int n = 0;
        while (std::getline(in, part, '.')) {
            if (n == parts)
                fail(key + ": more than " + std::to_string(parts) + " parts: '" + text + "'");
            const u32 v = static_cast<u32>(number(key, part, 0, 255));
            word |= msb_first ? v << (8 * (parts - 1 - n)) : v << (8 * n);
            ++n;
        }
        if (n != parts)
            fail(key + ": needs " + std::to_string(parts) + " dot-separated parts: '" + text + "'");
        return word;
    }

    void check_pci_addr(const std::string& a) const {
        static const char shape[] = "hhhh:hh:hh.h";
        bool ok = a.size() == sizeof(shape) - 1;
        for (std::size_t i = 0; ok && i < a.size(); ++i)
            ok = shape[i] == 'h' ? std::isxdigit(static_cast<unsigned char>(a[i])) != 0
                                 : a[i] == shape[i];
        if (!ok)
            fail("PCI address must look like 0000:03:00.0: '" + a + "'");
    }

    void check_name(const std::string& what, const std::string& n) const {
        if (n.empty() || n.size() > 15 || n == "." || n == ".." ||
            n.find('/') != std::string::npos)
            fail(what + " name must be 1-15 characters without '/': '" + n + "'");
    }

    static std::pair<std::string, std::optional<std::string>> split_kv(const std::string& tok) {
        const auto eq = tok.find('=');
        if (eq == std::string::npos)
            return {tok, std::nullopt};
        return {tok.substr(0, eq), tok.substr(eq + 1)};
    }

    std::string need_value(const std::string& key, const std::optional<std::string>& v) const {
        if (!v)
            fail(key + " needs a value (" + key + "=...)");
        return *v;
    }

    bool fault(iface_faults& f, const std::string& key, const std::optional<std::string>& v) const {
        for (const auto& n : FAULT_NAMES) {
            if (key != n.name)
                continue;
            if (n.flag) {
                if (v)
                    fail(key + " takes no value");
                f.*n.flag = true;
            } else {
                f.*n.count = !v && n.bare_is_always
                                 ? -1
                                 : static_cast<int>(number(key, need_value(key, v), n.lo, n.hi));
            }
            return true;
        }
        return false;
    }

    card_cfg& current_card(const std::string& kw) {
        if (cfg.cards.empty())
            fail(kw + " before the first card line");
        return cfg.cards.back();
    }

    iface_cfg& find_iface(const std::string& name) {
        for (auto& c : cfg.cards)
            for (auto& f : c.functions)
                for (auto& i : f.ifaces)
                    if (i.name == name)
                        return i;
        fail("fault for unknown interface '" + name + "' (declare it first)");
    }

    void card_line(const std::vector<std::string>& t) {
        if (t.size() < 2)
            fail("card needs a PCI address");
        card_cfg c;
        c.addr = t[1];
        check_pci_addr(c.addr);
        for (const auto& other : cfg.cards)
            if (other.addr == c.addr)
                fail("card " + c.addr + " declared twice");
        unsigned dom = 0, bus = 0, dev = 0, fn = 0;
        std::sscanf(c.addr.c_str(), "%4x:%2x:%2x.%x", &dom, &bus, &dev, &fn);
        c.mac = {0x02, 0x5a, 0xe1, static_cast<u8>(dom), static_cast<u8>(bus),
                 static_cast<u8>((dev << 4) | (fn << 3))};
        c.fw_version = 0x01000000;
        c.pxe_version = 0x000001;
        c.sn = "ZS" + c.addr.substr(0, 4) + c.addr.substr(5, 2) + c.addr.substr(8, 2) +
               c.addr.substr(11, 1);
        std::optional<layout_kind> layout;
        for (std::size_t i = 2; i < t.size(); ++i) {
            const auto [k, v] = split_kv(t[i]);
            if (k == "device") {
                c.device = id16(k, need_value(k, v));
            } else if (k == "layout") {
                const std::string s = need_value(k, v);
                if (s == "default")
                    layout = layout_kind::standard;
                else if (s == "kv3")
                    layout = layout_kind::kv3;
                else
                    fail("layout must be default or kv3: '" + s + "'");
            } else if (k == "flash") {
                const std::string s = need_value(k, v);
                if (s == "factory") {
                    c.preload = flash_preload::factory;
                } else if (s == "erased") {
                    c.preload = flash_preload::erased;
                } else if (s.rfind("file:", 0) == 0 && s.size() > 5) {
                    c.preload = flash_preload::file;
                    c.preload_path = s.substr(5);
                } else {
                    fail("flash must be factory, erased or file:PATH: '" + s + "'");
                }
            } else if (k == "mac") {
                c.mac = mac(k, need_value(k, v));
            } else if (k == "fw") {
                c.fw_version = version(k, need_value(k, v), 4, true);
            } else if (k == "pxe") {
                c.pxe_version = version(k, need_value(k, v), 3, false);
            } else if (k == "version") {
                const std::string s = need_value(k, v);
                if (s == "ok")
                    c.version = version_mode::ok;
                else if (s == "missing")
                    c.version = version_mode::missing;
                else if (s == "bad-magic")
                    c.version = version_mode::bad_magic;
                else
                    fail("version must be ok, missing or bad-magic: '" + s + "'");
            } else if (k == "sn") {
                c.sn = need_value(k, v);
                if (c.sn.size() > 32)
                    fail("sn: at most 32 characters");
            } else {
                fail("card: unknown setting '" + k + "'");
            }
        }
        c.layout = layout.value_or(c.device == KV3_1_PORT_DEV ? layout_kind::kv3 : layout_kind::standard);
        cfg.cards.push_back(std::move(c));
    }

    void function_line(const std::vector<std::string>& t) {
        card_cfg& card = current_card("function");
        if (t.size() < 2)
            fail("function needs a PCI address");
        function_cfg f;
        f.addr = t[1];
        check_pci_addr(f.addr);
        if (!fn_addrs.insert(f.addr).second)
            fail("function " + f.addr + " declared twice");
        f.device = card.device;
        for (std::size_t i = 2; i < t.size(); ++i) {
            const auto [k, v] = split_kv(t[i]);
            if (k == "vendor") {
                f.vendor = id16(k, need_value(k, v));
            } else if (k == "device") {
                f.device = id16(k, need_value(k, v));
            } else if (k == "net") {
                const std::string s = need_value(k, v);
                if (s != "yes" && s != "no")
                    fail("net must be yes or no: '" + s + "'");
                f.has_net = s == "yes";
            } else {
                fail("function: unknown setting '" + k + "'");
            }
        }
        card.functions.push_back(std::move(f));
    }

    void iface_line(const std::vector<std::string>& t) {
        card_cfg& card = current_card("iface");
        if (t.size() < 2)
            fail("iface needs a name");
        if (card.functions.empty()) {
            if (!fn_addrs.insert(card.addr).second)
                fail("function " + card.addr + " declared twice");
            card.functions.push_back(function_cfg{card.addr, ZELNIC_VENDOR, card.device, true, {}});
        }
        function_cfg& fn = card.functions.back();
        if (!fn.has_net)
            fail("iface under function " + fn.addr + " which has net=no");
        int index = 0;
        for (const auto& f : card.functions)
            index += static_cast<int>(f.ifaces.size());
        iface_cfg ifc;
        ifc.name = t[1];
        check_name("interface", ifc.name);
        if (!iface_names.insert(ifc.name).second)
            fail("interface " + ifc.name + " declared twice");
        ifc.port = index;
        bool address_given = false;
        for (std::size_t i = 2; i < t.size(); ++i) {
            const auto [k, v] = split_kv(t[i]);
            if (k == "port") {
                const std::string s = need_value(k, v);
                if (s == "unreadable")
                    ifc.port_unreadable = true;
                else
                    ifc.port = static_cast<int>(number(k, s, 0, 255));
            } else if (k == "carrier") {
                const std::string s = need_value(k, v);
                if (s != "0" && s != "1")
                    fail("carrier must be 1 (up) or 0 (down): '" + s + "'");
                ifc.carrier = s == "1";
            } else if (k == "address") {
                const std::string s = need_value(k, v);
                address_given = true;
                if (s == "none")
                    ifc.address.reset();
                else
                    ifc.address = mac(k, s);
            } else if (!fault(ifc.faults, k, v)) {
                fail("iface: unknown setting '" + k + "'");
            }
        }
        if (!address_given)
            ifc.address = mac_plus(card.mac, ifc.port);
        fn.ifaces.push_back(std::move(ifc));
    }

    void fault_line(const std::vector<std::string>& t) {
        if (t.size() < 3)
            fail("fault needs an interface name and at least one fault");
        iface_cfg& ifc = find_iface(t[1]);
        for (std::size_t i = 2; i < t.size(); ++i) {
            const auto [k, v] = split_kv(t[i]);
            if (!fault(ifc.faults, k, v))
                fail("unknown fault '" + k + "'");
        }
    }

    void line(const std::vector<std::string>& t) {
        const std::string& kw = t[0];
        if (kw == "order") {
            if (t.size() != 2)
                fail("order needs one of config, reverse, sorted");
            if (t[1] == "config")
                cfg.order = listing_order::config;
            else if (t[1] == "reverse")
                cfg.order = listing_order::reverse;
            else if (t[1] == "sorted")
                cfg.order = listing_order::sorted;
            else
                fail("order must be config, reverse or sorted: '" + t[1] + "'");
        } else if (kw == "driver") {
            if (t.size() != 2 || (t[1] != "present" && t[1] != "absent"))
                fail("driver present|absent");
            cfg.driver_present = t[1] == "present";
        } else if (kw == "stray") {
            if (t.size() < 2 || t.size() > 3 || (t.size() == 3 && t[2] != "dir"))
                fail("stray NAME [dir]");
            check_name("stray", t[1]);
            cfg.strays.push_back({t[1], t.size() == 3});
        } else if (kw == "card") {
            card_line(t);
        } else if (kw == "function") {
            function_line(t);
        } else if (kw == "iface") {
            iface_line(t);
        } else if (kw == "fault") {
            fault_line(t);
        } else {
            fail("unknown line '" + kw + "'");
        }
    }

    void finish() {
        static const std::set<std::string> reserved = {"bind",    "unbind", "new_id",
                                                       "remove_id", "uevent", "module"};
        for (const auto& s : cfg.strays)
            if (reserved.count(s.name) || fn_addrs.count(s.name))
                fail("stray " + s.name + " clashes with an entry of the driver folder");
    }
};

}  // namespace

sim_config parse_config(const std::string& text, const std::string& origin) {
    parser p;
    p.origin = origin;
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        ++p.line_no;
        const auto hash = raw.find('#');
        std::istringstream words(raw.substr(0, hash));
        std::vector<std::string> tokens;
        for (std::string w; words >> w;)
            tokens.push_back(w);
        if (!tokens.empty())
            p.line(tokens);
    }
    p.finish();
    return p.cfg;
}

sim_config load_config_file(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        throw sim_error(errno_text("cannot read config " + path));
    std::stringstream text;
    text << in.rdbuf();
    return parse_config(text.str(), path);
}

sim_config default_config() { return parse_config(BUILT_IN, "built-in"); }

std::string format_mac(const mac_addr& m) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return buf;
}

mac_addr mac_plus(const mac_addr& base, int n) {
    mac_addr m = base;
    for (int i = 0; i < n; ++i)
        mac_be64enc1(m.data());
    return m;
}

namespace {

std::string hex16(u16 v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04x", v);
    return buf;
}

std::string fw_text(u32 v) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xff, (v >> 8) & 0xff,
                  v & 0xff);
    return buf;
}

std::string pxe_text(u32 v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u", v & 0xff, (v >> 8) & 0xff, (v >> 16) & 0xff);
    return buf;
}

// Every fault that differs from a healthy interface's, as parse_config reads it.
std::string faults_text(const iface_faults& f) {
    static const iface_faults healthy;
    std::string s;
    for (const auto& n : FAULT_NAMES) {
        if (n.flag && f.*n.flag)
            s += std::string(" ") + n.name;
        else if (n.count && f.*n.count != healthy.*n.count)
            s += std::string(" ") + n.name + "=" + std::to_string(f.*n.count);
    }
    return s;
}

}  // namespace

std::string format_config(const sim_config& cfg) {
    static const char* const orders[] = {"config", "reverse", "sorted"};
    static const char* const versions[] = {"ok", "missing", "bad-magic"};
    std::string out = "order " + std::string(orders[static_cast<int>(cfg.order)]) + "\n";
    if (!cfg.driver_present)
        out += "driver absent\n";
    for (const auto& s : cfg.strays)
        out += "stray " + s.name + (s.is_dir ? " dir" : "") + "\n";
    for (const auto& c : cfg.cards) {
        out += "card " + c.addr + " device=" + hex16(c.device) +
               " layout=" + (c.layout == layout_kind::kv3 ? "kv3" : "default") + " flash=" +
               (c.preload == flash_preload::factory  ? "factory"
                : c.preload == flash_preload::erased ? "erased"
                : c.preload == flash_preload::image  ? "image"
                                                     : "file:" + c.preload_path) +
               " mac=" + format_mac(c.mac) + " fw=" + fw_text(c.fw_version) +
               " pxe=" + pxe_text(c.pxe_version) +
               " version=" + versions[static_cast<int>(c.version)] + " sn=" + c.sn + "\n";
        for (const auto& f : c.functions) {
            out += "function " + f.addr + " vendor=" + hex16(f.vendor) +
                   " device=" + hex16(f.device) + " net=" + (f.has_net ? "yes" : "no") + "\n";
            for (const auto& i : f.ifaces)
                out += "iface " + i.name + " port=" +
                       (i.port_unreadable ? "unreadable" : std::to_string(i.port)) +
                       " carrier=" + (i.carrier ? "1" : "0") +
                       " address=" + (i.address ? format_mac(*i.address) : "none") +
                       faults_text(i.faults) + "\n";
        }
    }
    return out;
}

}  // namespace zsim
