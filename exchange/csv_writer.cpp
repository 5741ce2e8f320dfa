#include "csv_writer.h"

namespace {

constexpr qsizetype kWriteChunk = 1 << 20;

}  // namespace

QByteArray CsvLine(const QStringList& fields) {
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString& f = fields[i];
        if (i > 0) {
            line += u';';
        }
        const bool quote = f.contains(u';') || f.contains(u'"') || f.contains(u'\n') || f.contains(u'\r') ||
                           (!f.isEmpty() && (f.front().isSpace() || f.back().isSpace()));
        if (quote) {
            line += u'"' + QString(f).replace(u'"', QStringLiteral("\"\"")) + u'"';
        } else {
            line += f;
        }
    }
    line += QStringLiteral("\r\n");
    return line.toUtf8();
}

CsvSheetWriter::CsvSheetWriter(const QString& path) : file_(path) {
    opened_ = file_.open(QIODevice::WriteOnly);
    pending_ = QByteArrayLiteral("\xEF\xBB\xBF");
}

void CsvSheetWriter::Write(const QByteArray& bytes) {
    pending_ += bytes;
    if (pending_.size() >= kWriteChunk) {
        file_.write(pending_);
        pending_.clear();
    }
}

void CsvSheetWriter::Header(const QStringList& captions) {
    Write(CsvLine(captions));
}

void CsvSheetWriter::Line(const std::vector<ExportCell>& cells) {
    QStringList texts;
    texts.reserve(qsizetype(cells.size()));
    for (const ExportCell& cell : cells) {
        texts << cell.text;
    }
    Write(CsvLine(texts));
}

QString CsvSheetWriter::Finish() {
    file_.write(pending_);
    pending_.clear();
    if (!file_.commit()) {
        return QStringLiteral("Не удалось записать файл %1: %2").arg(file_.fileName(), file_.errorString());
    }
    return {};
}
