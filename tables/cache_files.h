// Writing the local cache of a table under "temp/<table>/": the structure cache
// ("<table>.cacheb": the table file's header and column list) and one column cache file per column
// ("<column>.cache": code byte, MD5 of the payload, payload; see column_payload.h). Every file is
// scrambled with key table 1 behind two random head bytes. Reading is TBaseClient::CacheLoad.
// The caller holds the table's lock; the files are written whole and replaced, never appended to.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

QString StructureCachePath(const QString& table);
QString ColumnCachePath(const QString& table, const QString& column);

class StructureCacheWriter {
  public:
    // Deletes the old structure cache and starts the new one with the 21-byte header.
    StructureCacheWriter(const QString& table, QByteArrayView header);
    void Add(QByteArrayView descriptor);
    // Scrambles and writes the file; false when it could not be written.
    bool Finish();

  private:
    QString FPath;
    QByteArray FBuffer;
};

// Writes the column cache file; false when it could not be written.
bool WriteColumnCache(const QString& table, const QString& column, uint8_t code, int32_t entryCount,
                      QByteArrayView entries, QByteArrayView values, QByteArrayView blob);
