// The firmware and PXE image files named on the command line: when a path
// counts as given, and reading one whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "../types.h"

// The firmware update takes a path as given only when it has at least two
// characters: an empty or one-character path skips its step.
bool image_path_given(const char* path);

// Every byte of the file; none when it is missing, empty, unreadable or does
// not fit in memory.
std::optional<std::vector<u8>> read_image_file(const char* path);

// The tool's message for a file that cannot be read: "canot' read PATH\n".
std::string cannot_read_message(const char* path);
