#include "xlsx_reader.h"

#include <zip.h>

#include <QXmlStreamReader>
#include <functional>

namespace {

// A part that inflates beyond this is refused (a damaged or hostile archive).
constexpr qint64 kMaxPartBytes = qint64(512) * 1024 * 1024;
constexpr qint64 kChunkBytes = 64 * 1024;
const QString kDefaultSheet = QStringLiteral("xl/worksheets/sheet1.xml");

class Archive {
  public:
    explicit Archive(QByteArrayView bytes) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(bytes.data(), zip_uint64_t(bytes.size()), 0, &error);
        if (source != nullptr) {
            zip_ = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
            if (zip_ == nullptr) {
                zip_source_free(source);
            }
        }
        zip_error_fini(&error);
    }
    ~Archive() {
        if (zip_ != nullptr) {
            zip_discard(zip_);
        }
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool Opened() const { return zip_ != nullptr; }
    bool Has(const QString& name) const { return zip_name_locate(zip_, name.toUtf8().constData(), 0) >= 0; }

    // Hands the inflated part to `chunk` piece by piece; an error text when it cannot be read whole.
    QString Stream(const QString& name, const std::function<QString(QByteArrayView)>& chunk) const {
        const zip_int64_t index = zip_name_locate(zip_, name.toUtf8().constData(), 0);
        zip_file_t* file = index >= 0 ? zip_fopen_index(zip_, zip_uint64_t(index), 0) : nullptr;
        if (file == nullptr) {
            return QStringLiteral("В книге нет части %1").arg(name);
        }
        QByteArray buffer(kChunkBytes, Qt::Uninitialized);
        qint64 total = 0;
        QString error;
        while (error.isEmpty()) {
            const zip_int64_t got = zip_fread(file, buffer.data(), zip_uint64_t(buffer.size()));
            if (got < 0) {
                error = QStringLiteral("Часть %1 книги повреждена").arg(name);
            } else if (got == 0) {
                break;
            } else if ((total += got) > kMaxPartBytes) {
                error = QStringLiteral("Часть %1 книги больше %2 МБ").arg(name).arg(kMaxPartBytes >> 20);
            } else {
                error = chunk(QByteArrayView(buffer.constData(), got));
            }
        }
        zip_fclose(file);
        return error;
    }

  private:
    zip_t* zip_ = nullptr;
};

// Runs `token` on every token of an XML part as it inflates; an error text for a broken text.
QString ParsePart(const Archive& archive, const QString& name,
                  const std::function<QString(QXmlStreamReader&)>& token) {
    QXmlStreamReader xml;
    auto drain = [&]() -> QString {
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
                return {};
            }
            if (xml.hasError()) {
                return QStringLiteral("Часть %1 книги не читается: %2").arg(name, xml.errorString());
            }
            if (QString error = token(xml); !error.isEmpty()) {
                return error;
            }
        }
        return {};
    };
    QString error = archive.Stream(name, [&](QByteArrayView chunk) {
        xml.addData(chunk.toByteArray());
        return drain();
    });
    if (error.isEmpty() && xml.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
        error = QStringLiteral("Часть %1 книги обрывается").arg(name);
    }
    return error;
}

QString Attribute(const QXmlStreamReader& xml, QLatin1StringView name) {
    for (const QXmlStreamAttribute& a : xml.attributes()) {
        if (a.name() == name) {
            return a.value().toString();
        }
    }
    return {};
}

// The part of the workbook's first sheet, from the workbook and its relations.
QString FirstSheetPart(const Archive& archive) {
    QString id;
    ParsePart(archive, QStringLiteral("xl/workbook.xml"), [&](QXmlStreamReader& xml) {
        if (id.isEmpty() && xml.isStartElement() && xml.name() == QLatin1StringView("sheet")) {
            id = Attribute(xml, QLatin1StringView("id"));
        }
        return QString();
    });
    QString target;
    if (!id.isEmpty()) {
        ParsePart(archive, QStringLiteral("xl/_rels/workbook.xml.rels"), [&](QXmlStreamReader& xml) {
            if (target.isEmpty() && xml.isStartElement() && Attribute(xml, QLatin1StringView("Id")) == id) {
                target = Attribute(xml, QLatin1StringView("Target"));
            }
            return QString();
        });
    }
    if (target.isEmpty() || target.contains(QStringLiteral(".."))) {
        return kDefaultSheet;
    }
    const QString part = target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target;
    return archive.Has(part) ? part : kDefaultSheet;
}

// Collects the text of <t> elements inside `outer`, leaving out phonetic runs.
class TextCollector {
  public:
    // Returns an error text when the text grows beyond a cell's limit.
    QString Token(const QXmlStreamReader& xml) {
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1StringView("rPh")) {
                ++phonetic_;
            } else if (xml.name() == QLatin1StringView("t") && phonetic_ == 0) {
                inText_ = true;
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1StringView("rPh")) {
                --phonetic_;
            } else if (xml.name() == QLatin1StringView("t")) {
                inText_ = false;
            }
        } else if (xml.isCharacters() && inText_) {
            text_ += xml.text();
            if (text_.size() > kMaxCellChars) {
                return QStringLiteral("Значение длиннее %1 символов").arg(kMaxCellChars);
            }
        }
        return {};
    }
    QString Take() {
        inText_ = false;
        phonetic_ = 0;
        return std::exchange(text_, QString());
    }

  private:
    QString text_;
    bool inText_ = false;
    int phonetic_ = 0;
};

QString ReadSharedStrings(const Archive& archive, QStringList& strings) {
    const QString part = QStringLiteral("xl/sharedStrings.xml");
    if (!archive.Has(part)) {
        return {};
    }
    TextCollector text;
    return ParsePart(archive, part, [&](QXmlStreamReader& xml) -> QString {
        if (QString error = text.Token(xml); !error.isEmpty()) {
            return error;
        }
        if (xml.isEndElement() && xml.name() == QLatin1StringView("si")) {
            if (strings.size() >= kMaxSheetCells) {
                return QStringLiteral("В книге больше %1 строк текста").arg(kMaxSheetCells);
            }
            strings << text.Take();
        }
        return {};
    });
}

// 0-based column of a cell reference such as "AB12"; -1 when it has no letters, or too many.
int ColumnOfReference(const QString& reference) {
    int column = 0;
    int letters = 0;
    for (const QChar c : reference) {
        if (c < u'A' || c > u'Z') {
            break;
        }
        column = column * 26 + (c.unicode() - u'A' + 1);
        if (++letters > 3) {
            return -1;
        }
    }
    return letters == 0 ? -1 : column - 1;
}

class SheetParser {
  public:
    explicit SheetParser(const QStringList& shared) : shared_(shared) {}

    QString Token(QXmlStreamReader& xml) {
        if (inCell_) {
            if (QString error = text_.Token(xml); !error.isEmpty()) {
                return error;
            }
        }
        if (xml.isStartElement()) {
            return Start(xml);
        }
        if (xml.isEndElement()) {
            return End(xml);
        }
        if (xml.isCharacters() && inValue_) {
            value_ += xml.text();
            if (value_.size() > kMaxCellChars) {
                return QStringLiteral("Значение длиннее %1 символов").arg(kMaxCellChars);
            }
        }
        return {};
    }

    std::vector<SheetLine> Take() { return std::move(lines_); }

  private:
    QString Start(const QXmlStreamReader& xml) {
        const auto name = xml.name();
        if (name == QLatin1StringView("row")) {
            bool ok = false;
            const int r = Attribute(xml, QLatin1StringView("r")).toInt(&ok);
            rowNumber_ = ok && r > 0 ? r : rowNumber_ + 1;
            row_.clear();
            column_ = -1;
        } else if (name == QLatin1StringView("c")) {
            const int c = ColumnOfReference(Attribute(xml, QLatin1StringView("r")));
            column_ = c >= 0 ? c : column_ + 1;
            type_ = Attribute(xml, QLatin1StringView("t"));
            value_.clear();
            text_.Take();
            inCell_ = true;
        } else if (name == QLatin1StringView("v")) {
            inValue_ = inCell_;
        }
        return {};
    }

    QString End(const QXmlStreamReader& xml) {
        const auto name = xml.name();
        if (name == QLatin1StringView("v")) {
            inValue_ = false;
        } else if (name == QLatin1StringView("c") && inCell_) {
            inCell_ = false;
            return PutCell();
        } else if (name == QLatin1StringView("row")) {
            if (lines_.size() > size_t(kMaxSheetLines)) {
                return QStringLiteral("В книге больше %1 строк").arg(kMaxSheetLines);
            }
            lines_.push_back({rowNumber_, std::move(row_)});
            row_.clear();
        }
        return {};
    }

    QString PutCell() {
        if (column_ >= kMaxSheetColumns) {
            return QStringLiteral("Строка %1: больше %2 столбцов").arg(rowNumber_).arg(kMaxSheetColumns);
        }
        QString text;
        if (type_ == QLatin1StringView("s")) {
            bool ok = false;
            const qsizetype index = value_.trimmed().toLongLong(&ok);
            if (!ok || index < 0 || index >= shared_.size()) {
                return QStringLiteral("Строка %1: ссылка на несуществующий текст").arg(rowNumber_);
            }
            text = shared_[index];
        } else if (type_ == QLatin1StringView("inlineStr")) {
            text = text_.Take();
        } else if (type_ != QLatin1StringView("e")) {
            text = value_;
        }
        if (text.isEmpty()) {
            return {};
        }
        cells_ += qMax<qint64>(0, column_ + 1 - row_.size());
        if (cells_ > kMaxSheetCells) {
            return QStringLiteral("В книге больше %1 значений").arg(kMaxSheetCells);
        }
        while (row_.size() <= column_) {
            row_ << QString();
        }
        row_[column_] = text;
        return {};
    }

    const QStringList& shared_;
    std::vector<SheetLine> lines_;
    QStringList row_;
    int rowNumber_ = 0;
    int column_ = -1;
    QString type_;
    QString value_;
    TextCollector text_;
    bool inCell_ = false;
    bool inValue_ = false;
    qint64 cells_ = 0;
};

}  // namespace

bool LooksLikeZip(QByteArrayView bytes) {
    return bytes.startsWith("PK\x03\x04");
}

SheetRead ReadXlsx(QByteArrayView bytes) {
    SheetRead read;
    const Archive archive(bytes);
    if (!archive.Opened()) {
        read.error = QStringLiteral("Файл не является книгой XLSX (архив повреждён)");
        return read;
    }
    QStringList shared;
    if (QString error = ReadSharedStrings(archive, shared); !error.isEmpty()) {
        read.error = error;
        return read;
    }
    SheetParser parser(shared);
    const QString part = FirstSheetPart(archive);
    if (QString error = ParsePart(archive, part, [&](QXmlStreamReader& xml) { return parser.Token(xml); });
        !error.isEmpty()) {
        read.error = error;
        return read;
    }
    return SheetFromLines(parser.Take());
}
