#include "tables/column_payload.h"

#include <QCryptographicHash>

#include "infra/byte_codec.h"
#include "tables/field.h"

void AppendColumnPayload(QByteArray& out, uint8_t code, int32_t entryCount, QByteArrayView entries,
                         QByteArrayView values, QByteArrayView blob) {
    if (code == FieldCode::Dict16 || code == FieldCode::Dict8) {
        AppendLE(out, code);
        AppendLE(out, uint16_t(entryCount));
        out.append(entries);
    }
    out.append(values);
    if (code == FieldCode::VarText) {
        out.append(blob);
    }
}

QByteArray PayloadDigest(QByteArrayView payload) {
    return QCryptographicHash::hash(payload, QCryptographicHash::Md5);
}

QString DigestHex(QByteArrayView digest) {
    return QString::fromLatin1(digest.toByteArray().toHex().toUpper());
}
