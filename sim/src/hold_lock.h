// `zelnic-sim hold-lock PATH SECONDS`: holds a whole-file fcntl write lock,
// the lock the tool takes around every maintain exchange, for a while.
#pragma once

#include <string>

namespace zsim {

// Prints "locked\n" on stdout (flushed) once the lock is held. Returns the
// exit status; throws sim_error when the file cannot be opened or locked.
int hold_lock(const std::string& path, double seconds);

}  // namespace zsim
