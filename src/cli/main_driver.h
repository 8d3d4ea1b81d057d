// The tool's spine: command line, banner, road, selection and the per-device
// pipeline. Returns the exit status, or ends the run with exit_request.
#pragma once

#include "image/gen_bin.h"
#include "settings.h"

int kv7update_tool_main(int argc, char** argv);

// What -genbin asks image generation for, from the command line's settings.
gen_bin_request gen_bin_request_of(const settings& s);
