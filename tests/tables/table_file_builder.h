// Test helpers that write table files and read back cache files: a table with one column of every
// type code, and small conveniences over tables/table_file_writer.h.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>

#include "infra/bytes.h"
#include "tables/table_file_writer.h"

namespace table_files {

// Tables use paths relative to the working directory: each test binary works in its own folder.
struct WorkDir {
    QTemporaryDir dir;
    WorkDir() { QDir::setCurrent(dir.path()); }
};

inline TableFileColumn Column(int32_t id, const QString& name, uint8_t code, int32_t size,
                              int32_t sprSize = 0) {
    TableFileColumn c;
    c.n_abs = id;
    c.name = name;
    c.TypeField = code;
    c.Size = size;
    c.SprSize = sprSize;
    return c;
}

// Two records (identifiers 17 and 18) with one column of every code that has storage, plus a column of
// code 10, which has none. Column numbers (1-based) are in the comments.
inline TableFileContent EveryCodeTable(const QString& name = QStringLiteral("gps")) {
    TableFileContent t;
    t.name = name;
    t.RecordCount = 2;
    auto& id = t.columns.emplace_back(Column(101, "n_abs", 1, 4));  // 1
    AppendValue(id, int32_t(17));
    AppendValue(id, int32_t(18));
    auto& flags = t.columns.emplace_back(Column(102, "p_d", 3, 1));  // 2
    AppendValue(flags, uint8_t(0));
    AppendValue(flags, uint8_t(6));
    auto& fio = t.columns.emplace_back(Column(103, "fio", 2, 20));  // 3
    AppendFixedText(fio, QStringLiteral("Иванов"));
    AppendFixedText(fio, QStringLiteral("12"));
    auto& b = t.columns.emplace_back(Column(104, "b", 4, 1));  // 4
    AppendValue(b, uint8_t(1));
    AppendValue(b, uint8_t(0));
    auto& w = t.columns.emplace_back(Column(105, "w", 5, 2));  // 5
    AppendValue(w, uint16_t(65535));
    AppendValue(w, uint16_t(7));
    auto& f = t.columns.emplace_back(Column(106, "f", 6, 4));  // 6
    AppendValue(f, 1.5f);
    AppendValue(f, -2.0f);
    auto& d = t.columns.emplace_back(Column(107, "d", 7, 8));  // 7
    AppendValue(d, 2.25);
    AppendValue(d, -0.5);
    auto& c = t.columns.emplace_back(Column(108, "r_dt", 8, 4));  // 8
    AppendValue(c, uint32_t(86400));
    AppendValue(c, uint32_t(4000000000u));
    auto& dt = t.columns.emplace_back(Column(109, "dt", 9, 8));  // 9
    AppendValue(dt, 36526.5);
    AppendValue(dt, 0.0);
    auto& arr = t.columns.emplace_back(Column(110, "arr", 11, 3));  // 10
    arr.values = QByteArray("\x01\x02\x03\xff\x00\x80", 6);
    auto& i64 = t.columns.emplace_back(Column(111, "i64", 13, 8));  // 11
    AppendValue(i64, int64_t(-5000000000));
    AppendValue(i64, int64_t(42));
    auto& s15 = t.columns.emplace_back(Column(112, "s15", 15, 2, 20));  // 12
    s15.dictionary = {
        {1, QStringLiteral("Один")}, {70000, QStringLiteral("Много")}, {2, QStringLiteral("Два")}};
    AppendValue(s15, uint16_t(2));
    AppendValue(s15, uint16_t(0));
    auto& s16 = t.columns.emplace_back(Column(113, "s16", 16, 1, 10));  // 13
    s16.dictionary = {{5, QStringLiteral("пять")}, {9, QStringLiteral("nine")}};
    AppendValue(s16, uint8_t(9));
    AppendValue(s16, uint8_t(3));
    auto& color = t.columns.emplace_back(Column(114, "color", 21, 4));  // 14
    AppendValue(color, int32_t(255));
    AppendValue(color, int32_t(-1));
    auto& txt = t.columns.emplace_back(Column(115, "txt", 24, 4));  // 15
    AppendVarText(txt, QStringLiteral("Текст \"в кавычках\""));
    AppendNoVarText(txt);
    auto& st = t.columns.emplace_back(Column(116, "st", 25, 4));  // 16
    AppendValue(st, uint32_t(86400 + 3600));
    AppendValue(st, uint32_t(0));
    t.columns.emplace_back(Column(117, "none", 10, 0));  // 17
    return t;
}

// The unscrambled content of a cache file.
inline QByteArray ReadUnscrambled(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray content = file.readAll();
    ScrambleBytes(content, 1);
    return content;
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

}  // namespace table_files
