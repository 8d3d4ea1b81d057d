// The report stages of the per-device pipeline: the dumps and shows the
// command line asks for, in their fixed order. Each reads the device's flash
// itself, so it shows what was stored before this run's save; none writes.
#pragma once

#include "base/result.h"
#include "devices/eth_dev.h"
#include "flash/flash_access.h"
#include "settings.h"

// The first stage that fails where the show or dump says the run ends (an
// invalid record), or a fault of the channel, stops the stages and comes
// back; the version, factory and MAC stages end it only by a channel fault.
result run_reports(const settings& s, flash_access& flash, const eth_dev* dev);
