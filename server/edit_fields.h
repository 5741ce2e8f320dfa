// Reading the "fields" object of the clients' edit commands. These texts are not strict JSON:
// Booleans are the bare letters T and F, floating-point numbers carry the client's regional decimal
// separator ("." or ",", so "55,75" is one value), dates are regional text, and byte arrays are
// lists of numbers. Each value is converted by the type code of the column it names.
// Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "schema.h"

struct RawField {
    QString name;
    QString value;  // a string's unescaped content, an array's inner text, or a bare word
};

// Splits the inner text of the object into name/value pairs. False when it is malformed.
bool SplitFields(const QString& inner, std::vector<RawField>& out);

// A value converted for its column.
struct FieldValue {
    int64_t integer = 0;
    double real = 0;
    QByteArray bytes;     // code-page text, or raw bytes for code 11
    bool hasKey = false;  // codes 15 and 16: `integer` is a key given as "key@text" or a number
};

// Converts one value by the column's code; false (with a reason) when it does not fit.
bool ConvertField(const ColumnDef& column, const QString& value, FieldValue& out, QString& error);

// Date-time text in one of the common regional forms to days since 1899-12-30; false when unreadable.
bool ParseDateTime(const QString& text, double& days);
