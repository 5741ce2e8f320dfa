// The records of one server table in memory, kept column by column in the storage order the
// clients see (record i of a snapshot is row i here). Records are only appended, never removed;
// deleting sets bit 1 of "p_d". Texts are held as code-page bytes, as they travel.
// Code-24 texts live in a blob that only grows: a changed text is appended and the record's
// offset moves, so offsets that clients loaded earlier stay valid.
// Not thread-safe: the owner serialises access.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "schema.h"
#include "tables/table_file_writer.h"

struct DictionaryEntry {
    uint32_t key = 0;
    QByteArray text;
};

struct ColumnValues {
    std::vector<int64_t> ints;      // integer codes, dictionary keys, code-24 offsets
    std::vector<double> reals;      // 6, 7, 9
    std::vector<QByteArray> bytes;  // 2, 11 and 24: the record's text or raw bytes
    QByteArray blob;                // 24: length-prefixed texts
    std::vector<DictionaryEntry> dict;
};

class TableData {
  public:
    explicit TableData(const TableDef& def);

    const TableDef& def() const { return *def_; }
    int32_t count() const { return count_; }
    // Increases with every change; snapshot digests are cached against it.
    uint64_t version() const { return version_; }
    // The table's version when the column's payload last changed (an appended record changes every
    // column), so that cached payloads of other columns stay valid.
    uint64_t columnVersion(int col) const { return columnVersions_[size_t(col)]; }

    // Appends a record with the next identifier (one above the largest); returns its row.
    int32_t appendRecord();
    // Appends a record with a given identifier (used when reading the database back).
    int32_t appendRecordWithId(int32_t nAbs);
    int32_t rowOf(int32_t nAbs) const;  // -1 when there is none
    int32_t nAbsAt(int32_t row) const { return int32_t(columns_[0].ints[size_t(row)]); }
    bool isDeleted(int32_t row) const;

    void setInt(int32_t row, int col, int64_t value);
    void setReal(int32_t row, int col, double value);
    // Codes 2, 24 and 11; texts longer than their slot are cut.
    void setBytes(int32_t row, int col, const QByteArray& value);
    // Codes 15 and 16: the record gets the key of this text, a new entry with the next free key when
    // it has none. False, and nothing changed, when a new entry does not fit: the dictionary holds
    // maxEntries already, or every key is taken. An empty text gives key 0 (no value).
    bool setDictionaryText(int32_t row, int col, const QByteArray& text, size_t maxEntries = SIZE_MAX);
    // Adds an entry with its key as given (reading the database back, or an edit naming the key);
    // replaces a known key's text. Texts are cut to the column's dictionary slot. False, and nothing
    // changed, for a key outside 1..LargestDictionaryKey or a new entry beyond maxEntries.
    bool putDictionaryEntry(int col, uint32_t key, const QByteArray& text, size_t maxEntries = SIZE_MAX);
    // The largest key a dictionary entry may have: key 0 stands for no value and the largest number
    // of the key's width for an invalid one.
    static uint32_t LargestDictionaryKey(uint8_t code);
    // Sets the columns the server keeps itself: "dt_c" on the first change, "dt_m", "n_user" and the
    // change counter "ver" on every change.
    void stamp(int32_t row, int32_t user, const QDateTime& now);
    // The same with the time given as days since 1899-12-30 and seconds since 2000-01-01, for
    // callers that stamp many records (converting local times is slow).
    void stamp(int32_t row, int32_t user, double days, uint32_t seconds2000);

    int64_t intAt(int32_t row, int col) const { return columns_[size_t(col)].ints[size_t(row)]; }
    double realAt(int32_t row, int col) const { return columns_[size_t(col)].reals[size_t(row)]; }
    const QByteArray& bytesAt(int32_t row, int col) const { return columns_[size_t(col)].bytes[size_t(row)]; }
    // The record's dictionary text, empty for key 0 or an unknown key.
    QByteArray dictionaryTextAt(int32_t row, int col) const;
    const ColumnValues& column(int col) const { return columns_[size_t(col)]; }

    // A record as it was before a change, with the table's dictionaries, so that a change the
    // database did not take can be undone; an added record is removed again. Code-24 blobs keep
    // what the change appended: nothing points there any more.
    struct Savepoint {
        int32_t row = -1;  // -1: the change appends a record
        int32_t count = 0;
        int32_t maxId = 0;
        std::vector<ColumnValues> values;  // the record's value in each column, and the dictionaries
    };
    Savepoint savepoint(int32_t row) const;
    Savepoint savepointBeforeAppend() const;
    void rollBack(const Savepoint& point);

    // The column's data block of a table file, with its digest (tables/table_file_writer.h).
    TableFileBlock fileBlock(int col) const;
    // One record's value as a record update carries it (after the 16-byte column name).
    QByteArray updateValue(int32_t row, int col) const;

    // Date-time values as clients keep them: days since 1899-12-30, the fraction the time of day.
    static double ToDays(const QDateTime& t);
    // Time stamps as clients keep them: seconds since 2000-01-01 00:00:00.
    static uint32_t ToSeconds2000(const QDateTime& t);

  private:
    void appendText24(int32_t row, int col, const QByteArray& text);
    // The smallest key the column's dictionary does not use, 0 when every key is taken.
    uint32_t freeDictionaryKey(int col) const;
    void changed(int col);

    const TableDef* def_;
    std::vector<ColumnValues> columns_;
    int32_t count_ = 0;
    int32_t maxId_ = 0;
    int colCreated_, colChanged_, colUser_, colVersion_;
    uint64_t version_ = 0;
    std::vector<uint64_t> columnVersions_;
};
