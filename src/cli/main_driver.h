// The tool's spine: command line, banner, road, selection and the per-device
// pipeline. Returns the exit status; deeper layers may throw exit_request.
#pragma once

int kv7update_tool_main(int argc, char** argv);
