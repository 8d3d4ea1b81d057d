// A flash access laid over another (a cache, a route to another interface,
// a record of writes): it hands a run-ending fault of the one below up to
// its own caller, which sees only this layer, and refuses, as a channel
// does, every access after it.
#pragma once

#include <cerrno>

#include "flash/flash_access.h"

class flash_layer : public flash_access {
public:
    explicit flash_layer(flash_access& inner) : inner_(inner) {}
    bool keeps_writes() const override { return inner_.keeps_writes(); }

protected:
    // Runs one access of the layer below, `access()`, keeping its fault.
    template <typename Access>
    int below(Access&& access) {
        if (run_ended())
            return -ECANCELED;
        const int rc = access();
        return inner_.fault().ok() ? rc : settle({rc, inner_.take_fault()});
    }

    flash_access& inner_;
};
