// Comparing the values that must not repeat between records (IMEI, SIM number, registration plate,
// phone), as an operator compares them: a phone or a SIM number by its digits alone, an IMEI by its
// number, a plate by its letters and digits with Latin letters read as the Cyrillic ones they look
// like. The key of a value is empty when there is nothing to compare (an empty text, IMEI 0).
#pragma once

#include <QHash>
#include <QString>
#include <cstdint>

class TBaseClient;

QString DuplicateKey(const QString& column, const QString& text);

// A record that already holds a key.
struct KeyHolder {
    int32_t n_abs = 0;
    QString title;  // the record's name for messages (TitleColumn), or empty
};

// Key to the first visible record holding it, for one column of the table. Takes the table's lock.
QHash<QString, KeyHolder> KeyHolders(TBaseClient& table, const QString& column);

// The first visible record other than the one with identifier `except` whose column has this key;
// n_abs 0 when there is none. Takes the table's lock.
KeyHolder FindKeyHolder(TBaseClient& table, const QString& column, const QString& key, int32_t except);
