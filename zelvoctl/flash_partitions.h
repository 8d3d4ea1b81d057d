// The partitions zelvoctl reads, backs up and writes, and the checked
// partition read and write it does them with.
#pragma once

#include <span>
#include <vector>

#include "devices/eth_dev.h"
#include "flash/flash_access.h"
#include "maintain/maintain.h"

struct partition_info {
    int number;        // FLASH_PART
    const char* name;  // in messages, JSON and the manifest
    const char* file;  // its file in a backup folder
    bool writable;     // written back by a restore
};

// Every partition the driver delivers, in the order a backup takes them and a
// restore writes them (firmware first: its image runs on over the factory area).
std::span<const partition_info> readable_partitions();
const partition_info& partition_by_number(int number);

// The whole partition as the driver delivers it (at most its reply limit).
// A negative answer throws an I/O failure naming the partition and device.
std::vector<u8> read_partition(flash_access& flash, const eth_dev& dev, int partion);

// Replaces the partition's content; a failure throws an I/O failure.
void write_partition(flash_access& flash, const eth_dev& dev, int partion, std::span<const u8> data);
