// Progress lines of long steps on standard error, only when it is a terminal
// and --quiet was not given, so scripts and JSON readers never see them.
#pragma once

#include <string>

class progress {
public:
    explicit progress(bool quiet);
    void step(const std::string& what) const;

private:
    bool on_;
};
