#include "progress.h"

#include <unistd.h>

#include <cstdio>

progress::progress(bool quiet) : on_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

void progress::step(const std::string& what) const {
    if (on_)
        std::fprintf(stderr, "zelvoctl: %s\n", what.c_str());
}
