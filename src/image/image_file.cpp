#include "image_file.h"

#include <cstring>

bool image_path_given(const char* path) { return path != nullptr && std::strlen(path) >= 2; }

std::string cannot_read_message(const char* path) { return std::string("canot' read ") + path + "\n"; }
