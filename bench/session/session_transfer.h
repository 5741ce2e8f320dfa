// The session client receiving one file through the window: an in-process sender on its own thread
// plays the server (registration, offer, pieces through a TSendWindow of its own) over loopback,
// and the client, running its own threads, writes the file into "temp" of the working directory.
#pragma once

#include <cstdint>

#include "loopback_reference.h"

ReferenceResult RunSessionTransfer(int64_t totalBytes);
