// Demo content for a fresh database: a believable small set of Russian-language records, or N
// generated records per table for measurements, and the user "admin" with password "admin".
// Only empty tables are filled, so a restart with the same options changes nothing.
#pragma once

#include <cstdint>

class Storage;

// records 0: the hand-made small set; otherwise that many records in every table.
// The same seed gives the same records. False when the database did not store them.
bool FillDemoData(Storage& storage, int32_t records, uint32_t seed);
