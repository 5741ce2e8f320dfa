// Shallow JSON text helpers. The system never builds a JSON tree: commands are built by plain
// concatenation and read by scanning with these four functions, whose exact (shallow) rules the
// callers rely on: brackets are counted without regard to quoting, a key is found by plain text
// search, objects and arrays come back without their outer brackets. Stateless; any thread.
#pragma once

#include <QString>

// Escapes '"', '\' and '/' with a backslash; nothing else.
QString StrToJSONStr(const QString& s);

// The value of the first occurrence of "key" anywhere in text; empty when missing or unreadable.
QString GetJSONValue(const QString& text, const QString& key);

// Cuts the next key/value pair off the front of text. True when a value was taken; key is set
// even when the result is false.
bool GetJSONPair(QString& text, QString& key, QString& value);

// Cuts the next complete object or array (with its brackets) off the front of text; empty when
// there is none or it is incomplete.
QString GetJSONItem(QString& text);
