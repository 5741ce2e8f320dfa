#include "tables/column_payload.h"

#include <QCryptographicHash>

#include "infra/byte_codec.h"
#include "tables/field.h"

namespace {

// What stands before a dictionary's entries: its code and the entry count.
QByteArray DictionaryPrefix(uint8_t code, int32_t entryCount) {
    QByteArray out;
    AppendLE(out, code);
    AppendLE(out, uint16_t(entryCount));
    return out;
}

}  // namespace

void AppendColumnPayload(QByteArray& out, uint8_t code, int32_t entryCount, QByteArrayView entries,
                         QByteArrayView values, QByteArrayView blob) {
    if (FieldIsDictionary(code)) {
        out.append(DictionaryPrefix(code, entryCount));
        out.append(entries);
    }
    out.append(values);
    if (code == FieldCode::VarText) {
        out.append(blob);
    }
}

QByteArray ColumnDigest(uint8_t code, int32_t entryCount, QByteArrayView entries, QByteArrayView values,
                        QByteArrayView blob) {
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (FieldIsDictionary(code)) {
        hash.addData(DictionaryPrefix(code, entryCount));
        hash.addData(entries);
    }
    hash.addData(values);
    if (code == FieldCode::VarText) {
        hash.addData(blob);
    }
    return hash.result();
}

QString DigestHex(QByteArrayView digest) {
    return QString::fromLatin1(digest.toByteArray().toHex().toUpper());
}
