#include "stdout_capture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>

thread_local bool stdout_capture::on_card_thread = false;

stdout_capture::stdout_capture() {
    if (on_card_thread)
        return;
    std::fflush(stdout);
    saved_.reset(::dup(STDOUT_FILENO));
    sink_.reset(::memfd_create("zelvoctl-stdout", MFD_CLOEXEC));
    if (!saved_ || !sink_ || ::dup2(sink_.get(), STDOUT_FILENO) < 0)
        throw std::system_error(errno, std::generic_category(), "capturing standard output");
}

stdout_capture::~stdout_capture() {
    if (!saved_)
        return;
    std::fflush(stdout);
    ::dup2(saved_.get(), STDOUT_FILENO);
}

std::string stdout_capture::text() const {
    if (!sink_)
        return "";
    std::fflush(stdout);
    std::string all;
    char buf[4096];
    off_t at = 0;
    for (ssize_t n; (n = ::pread(sink_.get(), buf, sizeof buf, at)) > 0; at += n)
        all.append(buf, static_cast<std::size_t>(n));
    return all;
}

std::string stdout_capture::last_line() const {
    const std::string all = text();
    std::size_t end = all.find_last_not_of("\n ");
    if (end == std::string::npos)
        return "";
    const std::size_t start = all.rfind('\n', end);
    return all.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start == std::string::npos ? 0 : start + 1));
}
