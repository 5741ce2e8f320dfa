// The system's single-byte code page (Windows-1251). Text is UTF-16 in memory and one byte per
// character on the wire and in every file; this is the only place that converts between the two.
// A character outside the code page becomes '?'; each UTF-16 unit gives exactly one byte (a surrogate
// pair gives "??"), so lengths never change in the conversion. Thread-safe.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QByteArray toAnsi(const QString& text);
QString fromAnsi(QByteArrayView bytes);
