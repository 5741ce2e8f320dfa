// The six replicated tables every configuration-tool process registers at start-up, in the order
// in which the session client later downloads them. Call before the table set is shared with the
// session client; the folders "temp/<table>" are made in the working directory for the cache.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "tables/base_set.h"

inline constexpr std::array<const char*, 6> kConfigTableNames = {"object",   "gps",   "gpeople",
                                                                 "groupgps", "gpsug", "gpsshab"};

// Positions of the six tables in the set.
struct TableNumbers {
    int32_t NumberObject = -1;
    int32_t NumberGPS = -1;
    int32_t NumberGPeople = -1;
    int32_t NumberGroupGPS = -1;
    int32_t Numbergpsug = -1;
    int32_t NumberGPSShab = -1;
};

// Registers every table with all columns, the local cache on, no archive copy and an empty filter.
TableNumbers RegisterConfigTables(TBaseC& Base);
