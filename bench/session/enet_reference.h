// The reliable-UDP reference: the same payload moved by the ENet library in reliable packets over
// loopback, between two hosts on their own threads.
#pragma once

#include <cstdint>

#include "loopback_reference.h"

ReferenceResult RunEnetReference(int64_t totalBytes, int packetBytes);
