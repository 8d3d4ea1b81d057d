#include "sim_error.h"

#include <cerrno>
#include <cstring>

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }
