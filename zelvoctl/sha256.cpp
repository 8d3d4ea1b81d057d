#include "sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <stdexcept>

std::string sha256_hex(std::span<const u8> data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &len, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    std::string out;
    for (unsigned int i = 0; i < len; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        out += two;
    }
    return out;
}
