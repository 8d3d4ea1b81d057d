// The firmware and PXE image files named on the command line: when a path
// counts as given, and the message for one that cannot be read.
#pragma once

#include <string>

// The firmware update takes a path as given only when it has at least two
// characters: an empty or one-character path skips its step. Image files
// are read whole with read_file (devices/sysfs_file.h).
bool image_path_given(const char* path);

// The tool's message for a file that cannot be read: "canot' read PATH\n".
std::string cannot_read_message(const char* path);
