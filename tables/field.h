// FieldGFB: one column of a replicated table (TBaseClient). Values are kept column by column, one
// array per kind of value; element i belongs to storage record i + 1.
//
// A column never knows "its" record: every accessor works on the record the owning table selected
// for reading (TBaseClient::RecNoTemp, set by the look-ups). Readers yield the type's zero for a
// missing column, an unloaded column, an unselected record or an index outside an array; they never
// read out of bounds. Writers only fill the edit buffer (Temp), and only while the table is in edit
// mode (RecordNE); the stored arrays change when the server's answer comes back.
//
// Each property Xxx is a reader Xxx() and a writer SetXxx(value).
//
// Thread-safety: a column belongs to its table and is guarded by the table's re-entrant lock. Every
// accessor takes that lock itself; a caller that selects a record and then reads it holds the table's
// Guard() across both steps so that another thread cannot move the selection in between.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "infra/bulk_memory.h"

class TBaseClient;

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

// Type codes chosen by the server, one byte per column; shared by table files, cache files, record
// updates and edit commands. Codes not listed here have no storage and are ignored everywhere.
namespace FieldCode {
inline constexpr uint8_t Integer = 1;
inline constexpr uint8_t FixedText = 2;
inline constexpr uint8_t Byte = 3;
inline constexpr uint8_t Boolean = 4;
inline constexpr uint8_t Word = 5;
inline constexpr uint8_t Float = 6;
inline constexpr uint8_t Double = 7;
inline constexpr uint8_t Cardinal = 8;
inline constexpr uint8_t DateTime = 9;
inline constexpr uint8_t ByteArray = 11;
inline constexpr uint8_t Int64 = 13;
inline constexpr uint8_t Dict16 = 15;
inline constexpr uint8_t Dict8 = 16;
inline constexpr uint8_t Color = 21;
inline constexpr uint8_t VarText = 24;
inline constexpr uint8_t Stamp2000 = 25;
}  // namespace FieldCode

// Sanity caps on sizes read from files, caches and updates; anything beyond is malformed input.
inline constexpr int32_t kMaxRecordCount = 10'000'000;
inline constexpr int64_t kMaxColumnBytes = int64_t(1) << 30;

// Element width in bytes of a record value of a fixed-width code (the Size a column of that code
// must have); 0 for codes 2 and 11 (any Size) and for codes without storage.
int32_t FieldElementWidth(uint8_t code);
// Whether values of this code are stored at all.
bool FieldHasStorage(uint8_t code);
// Codes 15 and 16: the record holds a key into the column's dictionary.
bool FieldIsDictionary(uint8_t code);

// Column descriptor passed into and out of a table.
struct Stru_NetFields {
    int32_t n_abs = 0;
    QString name;  // up to 15 characters
    uint8_t TypeField = 0;
    int32_t Size = 0;
    int32_t SprSize = 0;
    int32_t RecNo = 0;  // not used by AddField or GetFieldN
};

// A column's array of record values (or of dictionary keys); CacheLoad fills them in a bulk region.
template <typename T>
using ColumnArray = std::vector<T, RegionAllocator<T>>;

// The value arrays of a column.
struct Stru_Data {
    std::vector<bool> DataSelected;       // every code: the Selected mark
    ColumnArray<int32_t> DataInteger;     // 1, 21; 24 offsets; 15/16 usage counters (by key)
    std::vector<QString> DataStringN;     // 15, 16 dictionary texts; 24 texts loaded from JSON
    ColumnArray<uint8_t> DataByte;        // 2, 11 (Size bytes per record); 3; 16 keys; 24 blob
    ColumnArray<uint8_t> DataBoolean;     // 4 (0 or 1)
    ColumnArray<uint16_t> DataWord;       // 5; 15 keys per record; 16 dictionary keys
    ColumnArray<float> DataFloat;         // 6
    ColumnArray<double> DataDouble;       // 7
    ColumnArray<uint32_t> DataCardinal;   // 8, 25; 15 dictionary keys
    ColumnArray<TDateTime> DataDateTime;  // 9
    ColumnArray<int64_t> DataInt64;       // 13
};

// The edit buffer of the record being added or edited.
struct Stru_Temp {
    uint8_t TypeField = 0;  // 0: nothing pending; otherwise the column's code, set by every write
    int32_t DataInteger = 0;
    QString DataString;  // up to 255 characters
    uint8_t DataByte = 0;
    bool DataBoolean = false;
    uint16_t DataWord = 0;
    float DataFloat = 0;
    double DataDouble = 0;
    uint32_t DataCardinal = 0;
    TDateTime DataDateTime = 0;
    TDateTime DataDate = 0;
    TDateTime DataTime = 0;
    QByteArray DataArrayByte;
    int64_t DataInt64 = 0;
    QStringList DataArrayString;
};

class FieldGFB {
  public:
    explicit FieldGFB(TBaseClient* owner);

    // Column descriptor.
    TBaseClient* GFBase;  // owning table, not owned
    int32_t n_abs = 0;
    QString name;  // at most 15 characters; look-ups compare it exactly
    uint8_t TypeField = 0;
    int32_t Size = 0;
    int32_t SprSize = 0;
    bool Load = false;
    bool Update = false;
    QString MD5;  // 32 upper-case hexadecimal digits of the cached payload's digest, or empty

    Stru_Data Data;
    Stru_Temp Temp;

    // Filter settings, used by the table's view.
    QString FFilter;
    uint8_t FFilterU = 0;
    uint8_t FFilterZ = 0;
    QString FFilterO;
    int32_t FFilterI = 0;
    uint8_t FFilterB = 0;
    bool FFilterBo = false;
    bool FilterYes = false;

    // Typed values of the selected record: the readers in field_readers.cpp, the writers in
    // field_writers.cpp. The conversion errors of AsInteger (code 24 text that is not an integer) and
    // AsFloat (code 2 text that is not a number) throw TableConversionError.
    int32_t AsInteger();
    void SetAsInteger(int32_t value);
    int32_t AsIntegerA();
    void SetAsIntegerA(int32_t value) { SetAsInteger(value); }
    uint32_t AsCardinal();
    void SetAsCardinal(uint32_t value);
    int64_t AsInt64();
    void SetAsInt64(int64_t value);
    float AsFloat();
    void SetAsFloat(float value);
    QString AsString();
    void SetAsString(const QString& value);
    // The selected record's stored value as a number, the edit buffer left aside (AsString reads
    // the same): codes 1, 3, 5, 6, 7 and 8 as they are, date-times (9) and time stamps (25) as
    // days. False for the other codes and when no record is selected.
    bool StoredNumber(double& value);
    TDateTime AsDateTime();
    void SetAsDateTime(TDateTime value);
    TDateTime AsDate();
    void SetAsDate(TDateTime value);
    TDateTime AsTime();
    void SetAsTime(TDateTime value);
    int32_t AsColor();
    void SetAsColor(int32_t value);
    bool AsBoolean();
    void SetAsBoolean(bool value);
    bool Selected();
    void SetSelected(bool value);

    const QString& Filter() const { return FFilter; }
    void SetFilter(const QString& value) { FFilter = value; }
    uint8_t FilterU() const { return FFilterU; }
    void SetFilterU(uint8_t value) { FFilterU = value; }

    // Dictionaries (codes 15 and 16); pos is 1-based (field.cpp).
    int32_t GetSprCount();
    QString GetSprString(int32_t pos);
    int32_t GetSprNumber(int32_t pos);
    int32_t GetSprValueNumber();

    // Byte arrays (code 11); bpos is 0-based, numb is the bit 1..8 (field.cpp).
    bool GetByteArrayAsBitBool(int32_t bpos, int32_t numb);
    void GetAsArrayByte(QByteArray& bytes);
    void SetAsArrayByte(const QByteArray& bytes);
    void WriteTempbyteArray(const QByteArray& bytes);
    void WriteTempStringArray(const QStringList& texts);

    // Helpers for the table's own units (all expect the table's lock to be held; field.cpp).
    // The length-prefixed single-byte text at byte offset `at` of DataByte, cut to `limit` bytes.
    QString BlobText(int64_t at, int64_t limit) const;
    // The text of a code-24 record (blob text or per-record text); null when there is none.
    QString VarTextOf(int32_t rec) const;
    // The fixed-width text of a code-2 record.
    QString FixedTextOf(int32_t rec) const;
    // Index of the first dictionary entry with that key, -1 when there is none.
    int32_t SprIndexOfKey(uint32_t key) const;
    // Number of stored elements in the record-value array of this column's code.
    int64_t RecordArrayLength() const;
    // Resizes DataSelected and the record-value array of this column's code to `count` records,
    // keeping existing values and zeroing new ones.
    void ResizeRecords(int32_t count);

  private:
    // The storage record number to read, or 0 when none may be read.
    int32_t ReadRecord(bool needLoad) const;
    bool InEditMode() const;
    // Drops a pending mark left over from an edit that ended.
    void ClearStalePending();
    // Marks the column pending; false when it may not be written.
    bool BeginWrite();
};
