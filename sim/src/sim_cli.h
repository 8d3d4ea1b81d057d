// The zelnic-sim command line: subcommand dispatch and option parsing.
#pragma once

namespace zsim {

struct cli_result {
    int status = 0;
    bool abandon = false;  // end the process at once, without destructors
};

cli_result sim_main(int argc, char** argv);

}  // namespace zsim
