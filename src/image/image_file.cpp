#include "image_file.h"

#include <cstring>

#include "../devices/sysfs_file.h"

bool image_path_given(const char* path) { return path != nullptr && std::strlen(path) >= 2; }

std::optional<std::vector<u8>> read_image_file(const char* path) { return read_file(path); }

std::string cannot_read_message(const char* path) { return std::string("canot' read ") + path + "\n"; }
