// The sysfs scan over a driver folder generated from the input: PCI entries
// that are folders, plain files or links, with vendor and device files that
// are right, wrong, missing or arbitrary text, and net folders whose
// interfaces carry arbitrary carrier, address and port_idx files.
//
// What must hold: every listed interface belongs to a supported
// physical function and has a name it was given; the count lies between the
// interfaces surely supported and those possibly so (arbitrary vendor and
// device texts may read either way); the list is in PCI-address and port
// order; the address text is at most 17 characters.
#define FUZZ_TARGET_NAME "device_scan"

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "devices/device_scan.h"
#include "devices/port_count.h"
#include "base/file_io.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

enum class verdict { yes, no, maybe };

void put(const std::string& path, const std::string& text) {
    const std::span<const u8> bytes(reinterpret_cast<const u8*>(text.data()), text.size());
    if (write_to_file(bytes, path.c_str()) != static_cast<int>(text.size()))
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot write " + path);
}

// A file or folder name: no '/', no NUL, neither "." nor "..".
std::string name_from(FuzzedDataProvider& in, std::size_t max_len) {
    std::string n = in.ConsumeRandomLengthString(max_len);
    for (char& c : n)
        if (c == '/' || c == '\0')
            c = '_';
    if (n.empty() || n == "." || n == "..")
        n += "x_";
    return n;
}

enum class written { none, good, arbitrary };

// An attribute file: missing, the text `good`, or arbitrary bytes.
written attribute(FuzzedDataProvider& in, const std::string& path, const std::string& good) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: return written::none;
    case 1: put(path, good); return written::good;
    default: put(path, in.ConsumeRandomLengthString(24)); return written::arbitrary;
    }
}

struct plan {
    std::size_t sure = 0, possible = 0;
    std::multiset<std::string> names;  // interfaces of functions that may be listed
    std::set<std::string> slots;       // their PCI entries
};

void add_interfaces(FuzzedDataProvider& in, const std::string& net, verdict supported, plan& p) {
    const int count = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < count; ++i) {
        // Up to 110 characters: names of 100 and more do not fit the record.
        const std::string name = name_from(in, in.ConsumeBool() ? 16 : 110);
        const std::string dir = net + "/" + name;
        if (!fs::create_directory(dir))
            continue;  // the same name twice
        attribute(in, dir + "/carrier", "1\n");
        attribute(in, dir + "/address", "00:11:22:33:44:55\n");
        attribute(in, dir + "/port_idx", std::to_string(in.ConsumeIntegralInRange(-1, 9)) + "\n");
        if (name.size() >= ETH_NAME_CAP || supported == verdict::no)
            continue;
        p.sure += supported == verdict::yes;
        p.possible += 1;
        p.names.insert(name);
    }
}

plan build_tree(FuzzedDataProvider& in, const std::string& root, const std::string& elsewhere) {
    plan p;
    const int functions = in.ConsumeIntegralInRange(0, 6);
    for (int f = 0; f < functions; ++f) {
        char slot[32];
        std::snprintf(slot, sizeof slot, "%04x:%02x:%02x.%x", in.ConsumeIntegralInRange(0, 0x1ff),
                      in.ConsumeIntegral<u8>(), in.ConsumeIntegralInRange(0, 0x1f), in.ConsumeIntegralInRange(0, 7));
        const std::string entry = in.ConsumeBool() ? std::string(slot) : name_from(in, 20);
        std::error_code ec;
        if (fs::exists(root + "/" + entry, ec) || fs::is_symlink(root + "/" + entry, ec))
            continue;
        const int kind = in.ConsumeIntegralInRange(0, 2);  // folder, link to a folder, plain file
        if (kind == 2) {
            put(root + "/" + entry, "not a function");
            continue;
        }
        const std::string dir = kind == 0 ? root + "/" + entry : elsewhere + "/" + std::to_string(f);
        fs::create_directory(dir);
        if (kind == 1)
            fs::create_directory_symlink(dir, root + "/" + entry);

        const written vendor = attribute(in, dir + "/vendor", "0x8848\n");
        static constexpr u16 IDS[] = {KV3_1_PORT_DEV, KV9_2_PORT_DEV, KV9_4_PORT_DEV, 0x8309, 0x1080, 0x1081};
        const u16 id = IDS[in.ConsumeIntegralInRange<std::size_t>(0, 5)];
        char id_text[16];
        std::snprintf(id_text, sizeof id_text, "0x%04x\n", id);
        const written device = attribute(in, dir + "/device", id_text);
        // A missing vendor file reads as no vendor; a missing device file as
        // an id that is no virtual function.
        const verdict vendor_ok = vendor == written::good ? verdict::yes
                                  : vendor == written::none ? verdict::no
                                                            : verdict::maybe;
        const verdict device_ok = device == written::none                   ? verdict::yes
                                  : device == written::arbitrary            ? verdict::maybe
                                  : check_vf(id)                            ? verdict::no
                                                                            : verdict::yes;
        verdict supported = verdict::maybe;
        if (vendor_ok == verdict::no || device_ok == verdict::no)
            supported = verdict::no;
        else if (vendor_ok == verdict::yes && device_ok == verdict::yes)
            supported = verdict::yes;
        if (supported != verdict::no)
            p.slots.insert(entry);
        if (in.ConsumeBool() && fs::create_directory(dir + "/net"))
            add_interfaces(in, dir + "/net", supported, p);
    }
    return p;
}

void check_list(const device_list& list, plan p) {
    FUZZ_CHECK(list.size() >= p.sure && list.size() <= p.possible,
               std::to_string(list.size()) + " listed, " + std::to_string(p.sure) + " to " +
                   std::to_string(p.possible) + " expected");
    bool low_domains = true;
    for (const eth_dev& d : list)
        low_domains = low_domains && d.domain < 256;
    const eth_dev* prev = nullptr;
    for (const eth_dev& d : list) {
        FUZZ_CHECK(d.vendor == ZELVO_VENDOR_ID && !check_vf(d.ddevice), std::string("unsupported ") + d.name);
        const auto it = p.names.find(d.name);
        FUZZ_CHECK(it != p.names.end(), std::string("a name never given: ") + d.name);
        p.names.erase(it);
        FUZZ_CHECK(p.slots.count(d.pci_slot) == 1, "an entry never given: " + d.pci_slot);
        FUZZ_CHECK(!d.cur_mac_address || d.cur_mac_address->size() <= 17, "address text " + *d.cur_mac_address);
        // With domains below 256 the key orders fully; above, its byte wraps.
        if (prev && low_domains)
            FUZZ_CHECK(prev->bus_device_fun < d.bus_device_fun ||
                           (prev->bus_device_fun == d.bus_device_fun && prev->port_id <= d.port_id),
                       std::string("out of order: ") + prev->name + " before " + d.name);
        prev = &d;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string root = fuzz::scratch_dir() + "/zelnic", elsewhere = fuzz::scratch_dir() + "/devices";
    fuzz::empty_dir(fuzz::scratch_dir());
    fs::create_directory(root);
    fs::create_directory(elsewhere);

    FuzzedDataProvider in(data, size);
    const bool trace = in.ConsumeBool();
    const plan p = build_tree(in, root, elsewhere);
    device_list list;
    const fuzz::call_result r = fuzz::call_catching_end([&] { return list_all_zelvo_devices(list, trace, root); });
    FUZZ_CHECK(!r.ended && r.status == 0, "scan status " + std::to_string(r.status));
    check_list(list, p);
    return 0;
}
