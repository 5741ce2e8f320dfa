#include "infra/backlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <limits>
#include <optional>

#include "infra/byte_codec.h"
#include "infra/codepage.h"
#include "infra/files.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr qint64 kHeaderSize = 16;
constexpr qint64 kRecordFrame = 8;  // start marker, length, end marker
constexpr qint64 kFileLimit = 1'000'000;
constexpr qint64 kChunk = 64 * 1024;
constexpr uint8_t kStart = 0xFF;
constexpr uint8_t kEndFirst = 0xFE;
constexpr uint8_t kEndSecond = 0xFF;

QByteArray HeaderBytes(int32_t magic, int32_t count, int32_t first, int32_t last) {
    QByteArray header(kHeaderSize, '\0');
    PutLE<int32_t>(header.data(), magic);
    PutLE<int32_t>(header.data() + 4, count);
    PutLE<int32_t>(header.data() + 8, first);
    PutLE<int32_t>(header.data() + 12, last);
    return header;
}

bool ReadAt(QFile& file, qint64 pos, char* out, qint64 length) {
    return file.seek(pos) && file.read(out, length) == length;
}

// The next start marker at or after `from`. A marker preceded by FE and followed by another FF is the
// tail of an end marker running into the next start marker, which begins one byte later.
qint64 ScanStart(QFile& file, qint64 from, qint64 size) {
    for (qint64 pos = from; pos + 1 < size;) {
        const qint64 low = pos > 0 ? pos - 1 : 0;
        const qint64 length = std::min(kChunk + 3, size - low);
        QByteArray block(length, Qt::Uninitialized);
        if (!ReadAt(file, low, block.data(), length)) {
            return -1;
        }
        const auto* b = reinterpret_cast<const uint8_t*>(block.constData());
        const qint64 end = std::min(pos + kChunk, size - 1);
        for (qint64 q = pos; q < end; ++q) {
            const qint64 i = q - low;
            if (b[i] != kStart || b[i + 1] != kStart) {
                continue;
            }
            const bool straddles = q > 0 && b[i - 1] == kEndFirst && q + 2 < size && b[i + 2] == kStart;
            if (!straddles) {
                return q;
            }
        }
        pos = end;
    }
    return -1;
}

// The first record whose frame fits inside the file; a marker whose length runs past the end (or is
// negative) is not a record, and the search goes on after it.
std::optional<std::pair<qint64, int32_t>> FindRecord(QFile& file) {
    const qint64 size = file.size();
    for (qint64 start = ScanStart(file, 0, size); start >= 0; start = ScanStart(file, start + 1, size)) {
        char length[4];
        if (start + 6 > size || !ReadAt(file, start + 2, length, 4)) {
            continue;
        }
        const int32_t n = GetLE<int32_t>(length);
        if (n >= 0 && start + kRecordFrame + n <= size) {
            return std::make_pair(start, n);
        }
    }
    return std::nullopt;
}

// Moves the bytes from `from` to the end of the file to its beginning, a chunk at a time, and cuts the
// file after them.
bool MoveToFront(QFile& file, qint64 from) {
    const qint64 size = file.size();
    QByteArray block;
    for (qint64 src = from, dst = 0; src < size; src += block.size(), dst += block.size()) {
        block.resize(std::min(kChunk, size - src));
        if (!ReadAt(file, src, block.data(), block.size()) || !file.seek(dst) ||
            file.write(block) != block.size()) {
            return false;
        }
    }
    return file.flush() && file.resize(size - from);
}

const QRegularExpression& DataFilePattern() {
    static const QRegularExpression pattern(QStringLiteral("^bs(\\d{1,10})\\.dat$"));
    return pattern;
}

}  // namespace

TBackSoobString::TBackSoobString() : dir(WorkingDir()) {}

QString TBackSoobString::DataName(int32_t numb) const {
    return QFileInfo(FileName).path() + QStringLiteral("/bs") + QString::number(numb) +
           QStringLiteral(".dat");
}

bool TBackSoobString::StoreCounters(QFile& header, int32_t count, int32_t first, int32_t last) {
    const QByteArray counters = HeaderBytes(Pref, count, first, last).sliced(4);
    if (!header.seek(4) || header.write(counters) != counters.size() || !header.flush()) {
        return false;
    }
    FCount = count;
    FirstNumb = first;
    LastNumb = last;
    return true;
}

bool TBackSoobString::StoreCounters(int32_t count, int32_t first, int32_t last) {
    auto header = OpenNotBlock(FileName);
    return header && StoreCounters(*header, count, first, last);
}

void TBackSoobString::Init() {
    Lock lock(section6);
    FCount = 0;
    FirstNumb = 0;
    LastNumb = 0;
    if (NameBack.isEmpty()) {
        return;
    }
    const QString folder = dir + u'/' + NameBack;
    QDir().mkpath(folder);
    FileName = folder + QStringLiteral("/backsoob.dat");

    if (QFile::exists(FileName)) {
        auto header = OpenNotBlock(FileName);
        if (!header) {
            return;
        }
        const QByteArray bytes = header->read(kHeaderSize);
        if (bytes.size() == kHeaderSize && GetLE<int32_t>(bytes.constData()) == Pref) {
            const int32_t count = GetLE<int32_t>(bytes.constData() + 4);
            const int32_t first = GetLE<int32_t>(bytes.constData() + 8);
            const int32_t last = GetLE<int32_t>(bytes.constData() + 12);
            if (count >= 0 && first >= 0 && last >= first) {
                FCount = count;
                FirstNumb = first;
                LastNumb = last;
                return;
            }
        }
        // Not a header of ours (or impossible counters): start an empty backlog.
        header.reset();
        QFile::remove(FileName);
    }
    QFile header(FileName);
    if (header.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        header.write(HeaderBytes(Pref, 0, 0, 0));
    }
}

void TBackSoobString::PutSoob(const QString& soob) {
    Lock lock(section6);
    if (FileName.isEmpty()) {
        return;
    }
    const QByteArray text = toAnsi(soob);
    if (text.size() > std::numeric_limits<int32_t>::max() - kRecordFrame) {
        return;
    }
    auto openData = [](const QString& name) {
        if (QFile::exists(name)) {
            return OpenNotBlock(name);
        }
        auto file = std::make_unique<QFile>(name);
        return file->open(QIODevice::ReadWrite) ? std::move(file) : nullptr;
    };
    auto data = openData(DataName(LastNumb));
    auto header = OpenNotBlock(FileName);
    if (!data || !header) {
        return;
    }
    int32_t last = LastNumb;
    if (data->size() > kFileLimit) {
        data.reset();
        ++last;
        // A file of the new number can only be a leftover: it was never in the backlog's range.
        QFile::remove(DataName(last));
        data = openData(DataName(last));
        if (!data) {
            return;
        }
    }
    if (!StoreCounters(*header, FCount + 1, FirstNumb, last)) {
        return;
    }

    QByteArray record(kRecordFrame + text.size(), Qt::Uninitialized);
    record[0] = char(kStart);
    record[1] = char(kStart);
    PutLE<int32_t>(record.data() + 2, int32_t(text.size()));
    std::copy(text.cbegin(), text.cend(), record.begin() + 6);
    record[6 + text.size()] = char(kEndFirst);
    record[7 + text.size()] = char(kEndSecond);

    const qint64 size = data->size();
    if (!data->seek(size) || data->write(record) != record.size() || !data->flush()) {
        // Take the half-written record back out so the file stays readable, and the count with it.
        data->resize(size);
        StoreCounters(*header, FCount - 1, FirstNumb, LastNumb);
    }
}

int32_t TBackSoobString::NextDataNumber() const {
    int32_t next = LastNumb;
    const QStringList names = QDir(QFileInfo(FileName).path()).entryList(QDir::Files);
    for (const QString& name : names) {
        const auto match = DataFilePattern().match(name);
        bool ok = false;
        const qint64 numb = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
        if (ok && numb > FirstNumb && numb < next) {
            next = int32_t(numb);
        }
    }
    return next;
}

bool TBackSoobString::OpenFront(std::unique_ptr<QFile>& data, Record& record) {
    for (;;) {
        const QString name = DataName(FirstNumb);
        const bool last = FirstNumb >= LastNumb;
        if (QFile::exists(name)) {
            data = OpenNotBlock(name);
            if (!data) {
                return false;
            }
            if (const auto found = FindRecord(*data)) {
                record = {found->first, found->second};
                return true;
            }
            // Empty, or nothing readable is left in it.
            if (last) {
                data->resize(0);
            }
            data.reset();
        }
        if (last) {
            // No message is left on disk, whatever the header counted.
            if (FCount != 0) {
                DeleteAll();
            }
            return false;
        }
        // Later files still hold messages: move on to the next one, never throw them away.
        if (!StoreCounters(FCount, NextDataNumber(), LastNumb)) {
            return false;
        }
        QFile::remove(name);
    }
}

bool TBackSoobString::GetSoob(QString& soob) {
    Lock lock(section6);
    if (FileName.isEmpty()) {
        return false;
    }
    std::unique_ptr<QFile> data;
    Record record;
    if (!OpenFront(data, record)) {
        return false;
    }
    QByteArray text(record.length, Qt::Uninitialized);
    char end[2];
    if (!ReadAt(*data, record.start + 6, text.data(), record.length) ||
        !ReadAt(*data, record.start + 6 + record.length, end, 2)) {
        return false;
    }
    if (uint8_t(end[0]) != kEndFirst || uint8_t(end[1]) != kEndSecond) {
        soob.clear();
        return false;
    }
    soob = fromAnsi(text);
    return true;
}

void TBackSoobString::DeleteSoob() {
    Lock lock(section6);
    if (FileName.isEmpty() || FCount <= 0) {
        return;
    }
    std::unique_ptr<QFile> data;
    Record record;
    if (!OpenFront(data, record)) {
        return;
    }
    // Both files must be open before anything changes, so the count never runs ahead of the disk.
    auto header = OpenNotBlock(FileName);
    if (!header || !MoveToFront(*data, record.start + kRecordFrame + record.length)) {
        return;
    }
    const bool emptied = data->size() == 0 && FirstNumb < LastNumb;
    data.reset();
    const int32_t front = FirstNumb;
    if (StoreCounters(*header, FCount - 1, emptied ? NextDataNumber() : FirstNumb, LastNumb) && emptied) {
        header.reset();
        QFile::remove(DataName(front));
    }
}

void TBackSoobString::DeleteSoobMore(int32_t Count) {
    Lock lock(section6);
    for (int32_t k = 0; k < Count && FCount > 0; ++k) {
        const int32_t before = FCount;
        DeleteSoob();
        if (FCount == before) {
            return;
        }
    }
}

void TBackSoobString::DeleteAll() {
    Lock lock(section6);
    FCount = 0;
    FirstNumb = 0;
    LastNumb = 0;
    if (FileName.isEmpty()) {
        return;
    }
    // Every data file goes, including leftovers outside the range, so that a restarted file 0 never
    // meets stale records.
    QDir folder(QFileInfo(FileName).path());
    for (const QString& name : folder.entryList(QDir::Files)) {
        if (DataFilePattern().match(name).hasMatch()) {
            folder.remove(name);
        }
    }
    QFile header(FileName);
    if (header.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        StoreCounters(header, 0, 0, 0);
    }
}

int32_t TBackSoobString::Count() {
    Lock lock(section6);
    return FCount;
}
