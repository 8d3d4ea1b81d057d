// Entry point: run the tool and turn its one exit type into the status.
#include <cstdio>

#include "exit_request.h"
#include "main_driver.h"

int main(int argc, char** argv) {
    int status;
    try {
        status = kv7update_tool_main(argc, argv);
    } catch (const exit_request& e) {
        status = e.status;
    }
    std::fflush(stdout);
    return status;
}
