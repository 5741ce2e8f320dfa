// The pages' reads and writes of single table values. Each call holds the table's lock across the
// record look-up and the read, so the client thread cannot move the selection in between. Reads give
// an empty text or 0 for a missing table, column or record, and for a value that does not convert;
// record positions are 1-based positions in the table's filtered order.
//
// Writes go into the column's edit buffer of the record being added or edited, and only while the
// table is in add or edit mode (RecordNE); otherwise they change nothing.
//
// Thread-safety: any thread; the pages call them on the UI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

class TBaseClient;

QString TextAt(TBaseClient* table, int32_t column, int32_t position);
// The texts of one column at many positions, under one hold of the lock (empty ones for positions
// outside the view).
std::vector<QString> TextsAt(TBaseClient* table, int32_t column, const std::vector<int32_t>& positions);
QString TextAt(TBaseClient* table, const QString& column, int32_t position);
int32_t IntegerAt(TBaseClient* table, int32_t column, int32_t position);
int32_t IntegerAt(TBaseClient* table, const QString& column, int32_t position);

// Values of the table's current record.
QString CurrentText(TBaseClient* table, int32_t column);
// Integers of the record being edited read what was typed so far.
int32_t CurrentInteger(TBaseClient* table, int32_t column);
int32_t CurrentInteger(TBaseClient* table, const QString& column);
uint32_t CurrentCardinal(TBaseClient* table, int32_t column);

// The text of a column of the record with that identifier; the table's own text for a missing
// record ("Запись не найдена").
QString TextOfRecord(TBaseClient* table, const QString& column, int32_t n_abs);

// Whether the table is in add or edit mode.
bool InAddOrEdit(TBaseClient* table);
// The identifier of the record being edited; -1 while a record is being added or nothing is edited.
int32_t EditedRecordId(TBaseClient* table);
// The stored texts of every column of the record with that identifier; empty when there is no such
// record (or it is deleted).
QStringList RecordTexts(TBaseClient* table, int32_t n_abs);

void WriteText(TBaseClient* table, int32_t column, const QString& text);
void WriteText(TBaseClient* table, const QString& column, const QString& text);
void WriteInteger(TBaseClient* table, int32_t column, int32_t value);
void WriteInteger(TBaseClient* table, const QString& column, int32_t value);
void WriteCardinal(TBaseClient* table, int32_t column, uint32_t value);
// Writes the value only when it differs from the current record's.
void WriteInt64IfChanged(TBaseClient* table, const QString& column, int64_t value);

// A flag bit (1 to 8) and whether it is set.
using FlagBit = std::pair<uint8_t, bool>;
// Writes the low 8 bits of a flags column with the listed bits as given. The other bits are those of
// the record being edited, and none for a record being added: a new record never takes over flags
// of the record that was selected before it.
void WriteFlagBits(TBaseClient* table, const QString& column, std::initializer_list<FlagBit> bits);
