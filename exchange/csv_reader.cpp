#include "csv_reader.h"

#include <QStringDecoder>
#include <array>

#include "infra/codepage.h"

namespace {

// The text of the bytes and the name of its encoding, or an error.
struct Decoded {
    QString text;
    QString encoding;
    QString error;
};

QString Strict(QStringDecoder::Encoding encoding, QByteArrayView bytes, bool& ok) {
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    ok = !decoder.hasError();
    return text;
}

Decoded Decode(QByteArrayView bytes) {
    struct Mark {
        QByteArrayView bytes;
        QStringDecoder::Encoding encoding;
        const char* name;
    };
    const std::array<Mark, 3> marks = {Mark{"\xEF\xBB\xBF", QStringDecoder::Utf8, "UTF-8"},
                                       Mark{"\xFF\xFE", QStringDecoder::Utf16LE, "UTF-16"},
                                       Mark{"\xFE\xFF", QStringDecoder::Utf16BE, "UTF-16"}};
    for (const Mark& mark : marks) {
        if (bytes.startsWith(mark.bytes)) {
            bool ok = false;
            Decoded d{Strict(mark.encoding, bytes.sliced(mark.bytes.size()), ok),
                      QString::fromLatin1(mark.name),
                      {}};
            if (!ok) {
                d.error = QStringLiteral("Файл начинается с метки %1, но его байты не в этой кодировке")
                              .arg(d.encoding);
            }
            return d;
        }
    }
    if (bytes.contains('\0')) {
        return {{}, {}, QStringLiteral("Файл не является текстом CSV (в нём есть нулевые байты)")};
    }
    bool ok = false;
    QString text = Strict(QStringDecoder::Utf8, bytes, ok);
    if (ok) {
        return {std::move(text), QStringLiteral("UTF-8"), {}};
    }
    return {fromAnsi(bytes), QStringLiteral("Windows-1251"), {}};
}

bool Control(QChar c) {
    return c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n';
}

// The separator the header line uses most: ";" unless "," or tab stands there more often.
QChar Separator(const QString& text) {
    int semicolons = 0;
    int commas = 0;
    int tabs = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && (c == u'\r' || c == u'\n')) {
            break;
        } else if (!quoted) {
            semicolons += c == u';';
            commas += c == u',';
            tabs += c == u'\t';
        }
    }
    if (tabs > semicolons && tabs >= commas) {
        return u'\t';
    }
    return commas > semicolons ? QChar(u',') : QChar(u';');
}

class Parser {
  public:
    explicit Parser(const QString& text) : text_(text), separator_(Separator(text)) {}

    // The records of the text, or an error in error_.
    std::vector<SheetLine> Run() {
        const qsizetype n = text_.size();
        for (qsizetype i = 0; i < n && error_.isEmpty(); ++i) {
            const QChar c = text_[i];
            if (Control(c)) {
                Fail(QStringLiteral("Строка %1: символ с кодом %2 — файл не похож на текст CSV")
                         .arg(line_)
                         .arg(c.unicode()));
            } else if (quoted_) {
                InQuotes(c, i);
            } else if (c == u'"' && field_.isEmpty() && !wasQuoted_) {
                quoted_ = true;
                wasQuoted_ = true;
                openedAt_ = line_;
            } else if (c == separator_) {
                EndField();
            } else if (c == u'\r' || c == u'\n') {
                SkipLineBreak(i);
                EndRecord();
            } else {
                Add(c);
            }
        }
        if (error_.isEmpty() && quoted_) {
            Fail(QStringLiteral("Кавычка, открытая в строке %1, не закрыта до конца файла").arg(openedAt_));
        }
        if (error_.isEmpty()) {
            EndRecord();
        }
        return error_.isEmpty() ? std::move(records_) : std::vector<SheetLine>();
    }

    const QString& Error() const { return error_; }

  private:
    void InQuotes(QChar c, qsizetype& i) {
        if (c == u'"') {
            if (i + 1 < text_.size() && text_[i + 1] == u'"') {
                Add(c);
                ++i;
            } else {
                quoted_ = false;
            }
            return;
        }
        if (c == u'\r' || c == u'\n') {
            SkipLineBreak(i);
            Add(u'\n');
            return;
        }
        Add(c);
    }

    // A CR LF pair is one line break; i stays on its last character.
    void SkipLineBreak(qsizetype& i) {
        if (text_[i] == u'\r' && i + 1 < text_.size() && text_[i + 1] == u'\n') {
            ++i;
        }
        ++line_;
    }

    void Add(QChar c) {
        if (field_.size() >= kMaxCellChars) {
            Fail(QStringLiteral("Строка %1: значение длиннее %2 символов")
                     .arg(recordLine_)
                     .arg(kMaxCellChars));
            return;
        }
        field_ += c;
    }

    void EndField() {
        if (cells_.size() >= kMaxSheetColumns) {
            Fail(QStringLiteral("Строка %1: больше %2 столбцов").arg(recordLine_).arg(kMaxSheetColumns));
            return;
        }
        if (++cellCount_ > kMaxSheetCells) {
            Fail(QStringLiteral("В файле больше %1 значений").arg(kMaxSheetCells));
            return;
        }
        cells_ << field_;
        field_.clear();
        wasQuoted_ = false;
    }

    void EndRecord() {
        const bool empty = cells_.isEmpty() && field_.isEmpty() && !wasQuoted_;
        if (!empty) {
            EndField();
            if (records_.size() >= size_t(kMaxSheetLines)) {
                Fail(QStringLiteral("В файле больше %1 строк").arg(kMaxSheetLines));
                return;
            }
            records_.push_back({recordLine_, std::move(cells_)});
        }
        cells_.clear();
        field_.clear();
        wasQuoted_ = false;
        recordLine_ = line_;
    }

    void Fail(const QString& error) {
        if (error_.isEmpty()) {
            error_ = error;
        }
    }

    const QString& text_;
    const QChar separator_;
    std::vector<SheetLine> records_;
    QStringList cells_;
    QString field_;
    bool quoted_ = false;
    bool wasQuoted_ = false;
    int line_ = 1;
    int recordLine_ = 1;
    int openedAt_ = 1;
    qint64 cellCount_ = 0;
    QString error_;
};

}  // namespace

SheetRead ReadCsv(QByteArrayView bytes) {
    SheetRead read;
    if (bytes.isEmpty()) {
        read.error = QStringLiteral("Файл пуст");
        return read;
    }
    Decoded decoded = Decode(bytes);
    if (!decoded.error.isEmpty()) {
        read.error = decoded.error;
        return read;
    }
    Parser parser(decoded.text);
    std::vector<SheetLine> records = parser.Run();
    if (!parser.Error().isEmpty()) {
        read.error = parser.Error();
        return read;
    }
    read = SheetFromLines(std::move(records));
    read.encoding = decoded.encoding;
    return read;
}
