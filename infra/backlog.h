// TBackSoobString: a persistent first-in, first-out queue of text messages on disk, in the folder
// <working dir>/<NameBack>: header "backsoob.dat" (magic 0x0FEEFFFF, count, first and last data file
// number, int32 little-endian) and data files "bs<N>.dat" of framed records
// (FF FF, int32 length, code-page bytes, FE FF), each closed for new records beyond 1,000,000 bytes.
// Every operation runs under one lock and opens and closes its files, so several threads may share
// one instance; the design has one reader (GetSoob then DeleteSoob).
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

class QFile;

class TBackSoobString {
  public:
    TBackSoobString();

    QString NameBack;

    void Init();
    void PutSoob(const QString& soob);
    bool GetSoob(QString& soob);
    void DeleteSoob();
    void DeleteSoobMore(int32_t Count);
    void DeleteAll();
    int32_t Count();

  private:
    QString FileName;
    int32_t FCount = 0;
    static constexpr int32_t Pref = 0x0FEEFFFF;
    QString dir;
    int32_t FirstNumb = 0;
    int32_t LastNumb = 0;
    std::recursive_mutex section6;

    // Where the oldest record of the front data file lies: its start marker and its length.
    struct Record {
        qint64 start = 0;
        int32_t length = 0;
    };
    QString DataName(int32_t numb) const;
    // Writes the counters into the header and, only when that succeeded, into memory.
    bool StoreCounters(QFile& header, int32_t count, int32_t first, int32_t last);
    bool StoreCounters(int32_t count, int32_t first, int32_t last);
    // Opens the front data file at its oldest readable record, first moving past front files that are
    // missing, empty or hold no readable record; false when none is left or a file stays locked.
    bool OpenFront(std::unique_ptr<QFile>& data, Record& record);
    int32_t NextDataNumber() const;
};
