#include "change_notice.h"

#include "infra/byte_codec.h"

namespace {

constexpr uint8_t kVersion = 1;
// Base64 takes four characters for every three bytes.
constexpr qsizetype kMaxNoticeBytes = kMaxNoticeText / 4 * 3;

void appendBytes(QByteArray& out, const QByteArray& bytes) {
    AppendLE(out, uint32_t(bytes.size()));
    out.append(bytes);
}

bool readText(ByteReader& in, QString& out) {
    QByteArrayView text;
    if (!in.ReadShortText(text)) {
        return false;
    }
    out = QString::fromUtf8(text);
    return true;
}

bool readValue(ByteReader& in, SqlValue& out) {
    uint8_t type = 0;
    if (!in.Read(type) || type > uint8_t(SqlValue::Type::Bytes)) {
        return false;
    }
    out.type = SqlValue::Type(type);
    switch (out.type) {
        case SqlValue::Type::Integer:
            return in.Read(out.integer);
        case SqlValue::Type::Real:
            return in.Read(out.real);
        case SqlValue::Type::Text:
        case SqlValue::Type::Bytes: {
            uint32_t n = 0;
            QByteArrayView bytes;
            if (!in.Read(n) || !in.Take(qsizetype(n), bytes)) {
                return false;
            }
            out.bytes = bytes.toByteArray();
            return true;
        }
    }
    return false;
}

}  // namespace

QByteArray EncodeChangeNotice(const ChangeNotice& notice) {
    if (notice.entries.size() > UINT16_MAX) {
        return {};
    }
    QByteArray out;
    out.append(char(kVersion));
    AppendLE(out, notice.first);
    AppendLE(out, uint16_t(notice.entries.size()));
    for (const ChangeNotice::Entry& e : notice.entries) {
        const QByteArray table = e.table.toUtf8();
        const QByteArray column = e.column.toUtf8();
        if (table.size() > kMaxShortText || column.size() > kMaxShortText || e.values.size() > UINT16_MAX) {
            return {};
        }
        out.append(char(e.kind));
        AppendShortText(out, table);
        AppendLE(out, e.item);
        AppendShortText(out, column);
        AppendLE(out, uint16_t(e.values.size()));
        for (const SqlValue& v : e.values) {
            out.append(char(v.type));
            if (v.type == SqlValue::Type::Integer) {
                AppendLE(out, v.integer);
            } else if (v.type == SqlValue::Type::Real) {
                AppendLE(out, v.real);
            } else {
                appendBytes(out, v.bytes);
            }
        }
        if (out.size() > kMaxNoticeBytes) {
            return {};
        }
    }
    return out.toBase64();
}

bool DecodeChangeNotice(QByteArrayView text, ChangeNotice& out) {
    if (text.size() > kMaxNoticeText) {
        return false;
    }
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text.toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return false;
    }
    ByteReader in(*decoded);
    uint8_t version = 0;
    uint16_t count = 0;
    if (!in.Read(version) || version != kVersion || !in.Read(out.first) || !in.Read(count) || count == 0 ||
        out.first < 1 || out.first > INT64_MAX - count) {
        return false;
    }
    out.entries.assign(count, {});
    for (ChangeNotice::Entry& e : out.entries) {
        uint8_t kind = 0;
        uint16_t values = 0;
        if (!in.Read(kind) || !readText(in, e.table) || !in.Read(e.item) || !readText(in, e.column) ||
            !in.Read(values)) {
            return false;
        }
        e.kind = kind;
        // A value takes five bytes at least: no count larger than what is left is believed.
        if (values > in.Remaining() / 5) {
            return false;
        }
        e.values.resize(values);
        for (SqlValue& v : e.values) {
            if (!readValue(in, v)) {
                return false;
            }
        }
    }
    return in.AtEnd();
}

const SqlValue* ParamsRow::at(int column, SqlValue::Type a, SqlValue::Type b) const {
    if (column < 0 || size_t(column) >= values_.size()) {
        return nullptr;
    }
    const SqlValue& v = values_[size_t(column)];
    return v.type == a || v.type == b ? &v : nullptr;
}

int64_t ParamsRow::integer(int column) const {
    const SqlValue* v = at(column, SqlValue::Type::Integer, SqlValue::Type::Integer);
    return v ? v->integer : 0;
}

double ParamsRow::real(int column) const {
    const SqlValue* v = at(column, SqlValue::Type::Real, SqlValue::Type::Real);
    return v ? v->real : 0;
}

QByteArray ParamsRow::bytes(int column) const {
    const SqlValue* v = at(column, SqlValue::Type::Text, SqlValue::Type::Bytes);
    return v ? v->bytes : QByteArray();
}
