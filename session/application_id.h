// The identifier every copy of the configuration tool registers with, the desktop tool and the
// command-line client alike: the server knows the tool by it.
#pragma once

#include <QString>

inline const QString kApplicationId = QStringLiteral("5A1C3F20-7B9E-4D62-A8F1-0E4B7C9D2A65");
