// The report stages of the per-device pipeline: the dumps and shows the
// command line asks for, in their fixed order. Each reads the device's flash
// itself, so it shows what was stored before this run's save; none writes.
#pragma once

#include "devices/eth_dev.h"
#include "flash/flash_access.h"
#include "settings.h"

// Results are not examined; an invalid record ends the process where the
// show or dump says so. The version stage never ends it.
void run_reports(const settings& s, flash_access& flash, const eth_dev* dev);
