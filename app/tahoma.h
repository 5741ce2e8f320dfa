// The tool's typeface, Tahoma, at a character height in pixels. Where Tahoma is not installed the
// nearest narrow sans-serif faces stand in, so that captions fit the places laid out for Tahoma.
//
// Thread-safety: UI thread only.
#pragma once

#include <QFont>

QFont Tahoma(int pixels, bool bold = false);
