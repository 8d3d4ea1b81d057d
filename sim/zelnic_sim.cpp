// zelnic-sim: a stand-in for the zelnic driver's sysfs files, so the tool
// can run unchanged without the card.
#include <unistd.h>

#include <cstdio>

#include "sim_cli.h"

int main(int argc, char** argv) {
    const zsim::cli_result r = zsim::sim_main(argc, argv);
    std::fflush(nullptr);
    if (r.abandon)
        ::_exit(r.status);  // serving threads may still run: skip destructors
    return r.status;
}
