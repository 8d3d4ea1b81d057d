// SHA-256 of a byte string, as lowercase hexadecimal (OpenSSL libcrypto).
#pragma once

#include <span>
#include <string>

#include "base/types.h"

std::string sha256_hex(std::span<const u8> data);
