#include "backup_card.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <strings.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "record/cfg.h"
#include "flash_map.h"
#include "maintain/maintain.h"
#include "sim_error.h"

namespace zsim {

namespace {

using json = nlohmann::json;

// The partitions a backup holds; every one must be listed.
constexpr std::array<int, 6> BACKED_UP = {PART_FW, PART_CFG, PART_MAC_ADDR, PCSPHY, IPXE, VERSION_INFO};

struct backup_reader {
    std::string dir;

    [[noreturn]] void fail(const std::string& why) const { throw sim_error("backup " + dir + ": " + why); }

    std::optional<std::vector<u8>> read(const std::string& name) const {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::vector<u8> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return std::nullopt;
        return bytes;
    }

    json manifest() const {
        const auto text = read(BACKUP_MANIFEST);
        if (!text)
            fail(std::string("no readable ") + BACKUP_MANIFEST);
        json m = json::parse(text->begin(), text->end(), nullptr, false);
        if (m.is_discarded() || !m.is_object())
            fail(std::string(BACKUP_MANIFEST) + " is not a JSON object");
        return m;
    }

    // The file's bytes, once its size and SHA-256 match its manifest entry.
    std::vector<u8> checked_file(const json& entry) const {
        const std::string name = entry.at("file").get<std::string>();
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
            fail(std::string(BACKUP_MANIFEST) + " names a file outside the folder: '" + name + "'");
        const auto bytes = read(name);
        if (!bytes)
            fail(name + " is missing or unreadable");
        const std::size_t size = entry.at("size").get<std::size_t>();
        if (bytes->size() != size)
            fail(name + " holds " + std::to_string(bytes->size()) + " bytes, the manifest says " + std::to_string(size));
        if (!sha256_is(*bytes, entry.at("sha256").get<std::string>()))
            fail(name + " is damaged: its SHA-256 differs from the manifest");
        return *bytes;
    }

    // Hexadecimal digits of either case, as the manifest gives them.
    static bool sha256_is(const std::vector<u8>& data, const std::string& hex) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        char text[2 * EVP_MAX_MD_SIZE + 1];
        std::size_t text_len = 0;
        if (EVP_Digest(data.data(), data.size(), digest, &len, EVP_sha256(), nullptr) != 1 ||
            OPENSSL_buf2hexstr_ex(text, sizeof text, &text_len, digest, len, '\0') != 1)
            throw sim_error("SHA-256 failed");
        return ::strcasecmp(text, hex.c_str()) == 0;
    }
};

// "0x8308" as zelvoctl writes it; a plain number is taken too.
u16 device_id_of(const json& card, const backup_reader& r) {
    const json& id = card.at("device_id");
    if (id.is_number_unsigned() && id.get<unsigned long>() <= 0xffff)
        return static_cast<u16>(id.get<unsigned long>());
    const std::string text = id.get<std::string>();
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || v > 0xffff)
        r.fail("device_id is not a PCI device id: '" + text + "'");
    return static_cast<u16>(v);
}

// "4-port": the model names the port count; without one, the device id's.
int ports_of(const json& card, u16 device) {
    int ports = 0;
    char tail = 0;
    const std::string model = card.value("model", "");
    if (std::sscanf(model.c_str(), "%d-port%c", &ports, &tail) == 1 && ports >= 1 && ports <= MAX_PORTS)
        return ports;
    return port_count_of_device(device);
}

// The MAC address a record slot holds; none when it is erased or zero.
std::optional<mac_addr> slot_mac(const std::vector<u8>& record, int port) {
    const std::size_t at = static_cast<std::size_t>(port) * MAC_ADDR_LEN;
    if (record.size() < at + 6)
        return std::nullopt;
    mac_addr m;
    std::copy_n(record.begin() + static_cast<std::ptrdiff_t>(at), 6, m.begin());
    const bool erased = std::all_of(m.begin(), m.end(), [](u8 b) { return b == 0xff; });
    const bool zero = std::all_of(m.begin(), m.end(), [](u8 b) { return b == 0; });
    if (erased || zero)
        return std::nullopt;
    return m;
}

// The card's config lines: one function per port on the 2-port model (as
// its two PCI functions are), otherwise one function holding every port.
std::string card_lines(const std::string& addr, u16 device, int ports, const std::vector<u8>& record) {
    char id[8];
    std::snprintf(id, sizeof id, "0x%04x", device);
    std::string text = "card " + addr + " device=" + id + "\n";
    const bool function_per_port = device == KV9_2_PORT_DEV;
    for (int p = 0; p < ports; ++p) {
        if (p == 0 || function_per_port)
            text += "function " + addr.substr(0, addr.size() - 1) + std::to_string(function_per_port ? p : 0) + "\n";
        text += "iface " + iface_name_for(addr, p, ports) + " port=" + std::to_string(p);
        if (const auto mac = slot_mac(record, p))
            text += " address=" + format_mac(*mac);
        text += "\n";
    }
    return text;
}

// The flash as far as the partitions reach; every byte no partition holds
// reads as erased.
std::vector<u8> flash_of(const flash_map& map, const std::map<int, std::vector<u8>>& parts,
                         const std::map<int, std::string>& names, const backup_reader& r) {
    std::vector<u8> flash(map.flash_size, 0xff);
    for (const auto& [number, bytes] : parts) {
        const auto area = partition_area(map, number);
        if (!area)
            continue;
        if (bytes.size() > area->size)
            r.fail(names.at(number) + " holds " + std::to_string(bytes.size()) + " bytes, more than the " +
                   std::to_string(area->size) + " of its area on this card");
        std::copy(bytes.begin(), bytes.end(), flash.begin() + area->off);
    }
    return flash;
}

struct loaded_card {
    std::string lines;
    std::vector<u8> flash;
    std::vector<u8> version;
};

loaded_card load_card(const std::string& dir) {
    const backup_reader r{dir};
    const json m = r.manifest();
    try {
        const json& card = m.at("card");
        const std::string addr = card.at("pci_address").get<std::string>();
        const u16 device = device_id_of(card, r);
        std::map<int, std::vector<u8>> parts;
        std::map<int, std::string> names;
        for (const json& entry : m.at("files")) {
            const int number = entry.at("partition").get<int>();
            names[number] = entry.at("file").get<std::string>();
            parts[number] = r.checked_file(entry);
        }
        for (const int number : BACKED_UP)
            if (!parts.count(number))
                r.fail(std::string(BACKUP_MANIFEST) + " lists no file of partition " + std::to_string(number));
        const layout_kind layout = device == KV3_1_PORT_DEV ? layout_kind::kv3 : layout_kind::standard;
        loaded_card c;
        c.lines = card_lines(addr, device, ports_of(card, device), parts.at(PART_MAC_ADDR));
        c.flash = flash_of(map_for(layout), parts, names, r);
        c.version = parts.at(VERSION_INFO);
        return c;
    } catch (const json::exception& e) {
        r.fail(std::string(BACKUP_MANIFEST) + " is malformed: " + e.what());
    }
}

}  // namespace

std::string iface_name_for(const std::string& addr, int port, int ports) {
    unsigned dom = 0, bus = 0, slot = 0, fn = 0;
    std::sscanf(addr.c_str(), "%x:%x:%x.%x", &dom, &bus, &slot, &fn);
    std::string name = dom == 0 ? "enp" : "enP" + std::to_string(dom) + "p";
    name += std::to_string(bus) + "s" + std::to_string(slot);
    if (ports > 1)
        name += "f" + std::to_string(port);
    return name;
}

sim_config config_from_backups(const std::vector<std::string>& dirs) {
    std::vector<loaded_card> cards;
    std::string text;
    for (const std::string& dir : dirs) {
        cards.push_back(load_card(dir));
        parse_config(cards.back().lines, "backup " + dir);  // a bad address, named with its backup
        text += cards.back().lines;
    }
    // Together: a card given twice is refused.
    sim_config cfg = parse_config(text, "backups");
    for (std::size_t i = 0; i < cards.size(); ++i) {
        card_cfg& c = cfg.cards[i];
        c.preload = flash_preload::image;
        c.image = std::move(cards[i].flash);
        c.version_reply = std::move(cards[i].version);
    }
    return cfg;
}

}  // namespace zsim
