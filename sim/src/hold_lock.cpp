#include "hold_lock.h"

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "sim_error.h"
#include "base/unique_fd.h"

namespace zsim {

int hold_lock(const std::string& path, double seconds) {
    unique_fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd)
        throw sim_error(errno_text("cannot open " + path));
    struct flock lk {};
    lk.l_type = F_WRLCK;
    lk.l_whence = SEEK_SET;
    lk.l_start = 0;
    lk.l_len = 0;  // to the end, however long the file grows
    while (::fcntl(fd.get(), F_SETLKW, &lk) != 0)
        if (errno != EINTR)
            throw sim_error(errno_text("cannot lock " + path));
    std::fputs("locked\n", stdout);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    lk.l_type = F_UNLCK;
    if (::fcntl(fd.get(), F_SETLK, &lk) != 0)
        throw sim_error(errno_text("cannot unlock " + path));
    return 0;
}

}  // namespace zsim
