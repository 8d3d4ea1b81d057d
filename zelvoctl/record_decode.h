// The flash records decoded into one JSON tree, which the tables and the JSON
// documents both print. Keys are chosen so that a flattened user-record path
// ("mac.0", "lldp.2.status") is the field name `set` takes.
#pragma once

#include <optional>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "record/cfg.h"

using json = nlohmann::ordered_json;

// The 480-byte record as stored: bytes the partition did not deliver read as
// erased flash (0xff).
ucfg_mac_sn record_from_bytes(std::span<const u8> stored);

// "xx:xx:xx:xx:xx:xx" of a MAC slot; nullopt when the slot is erased (all 0xff).
std::optional<std::string> mac_text(const u8* slot);

// A 32-byte text field up to its first zero; other bytes outside printable
// ASCII are written as \xNN.
std::string text_field(const u8 (&field)[UCFG_TEXT_LEN]);

json decode_user_record(const ucfg_mac_sn& r);

// Firmware "a.b.c.d" and PXE "a.b.c" versions; both null when the record is
// short or its magic is wrong.
json decode_versions(std::span<const u8> stored);

// Header, PCIe and PHY settings of the factory record.
json decode_factory(std::span<const u8> stored);

// "0x%0*x" with `digits` hexadecimal digits.
std::string hex(u32 v, int digits = 8);
