#include "postgres_row.h"

#include <libpq-fe.h>

#include <QtEndian>
#include <cstring>

PostgresRow::PostgresRow(const PGresult* result)
    : r_(result), columns_(PQnfields(result)), rows_(PQntuples(result)) {}

int64_t PostgresRow::integer(int i) const {
    const char* v = value(i);
    if (!v) {
        return 0;
    }
    const int n = PQgetlength(r_, row_, i);
    switch (PQftype(r_, i)) {
        case PgType::Int8:
            return n == 8 ? qFromBigEndian<qint64>(v) : 0;
        case PgType::Int4:
            return n == 4 ? qFromBigEndian<qint32>(v) : 0;
        case PgType::Int2:
            return n == 2 ? qFromBigEndian<qint16>(v) : 0;
        case PgType::Bool:
            return n == 1 ? (v[0] != 0 ? 1 : 0) : 0;
        default:
            return 0;
    }
}

double PostgresRow::real(int i) const {
    const char* v = value(i);
    if (!v) {
        return 0;
    }
    const int n = PQgetlength(r_, row_, i);
    const Oid type = PQftype(r_, i);
    if (type == PgType::Float8 && n == 8) {
        const quint64 bits = qFromBigEndian<quint64>(v);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    if (type == PgType::Float4 && n == 4) {
        const quint32 bits = qFromBigEndian<quint32>(v);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    return double(integer(i));
}

QByteArray PostgresRow::bytes(int i) const {
    const char* v = value(i);
    const Oid type = PQftype(r_, i);
    if (!v || (type != PgType::Text && type != PgType::Bytea && type != PgType::Varchar)) {
        return {};
    }
    return QByteArray(v, PQgetlength(r_, row_, i));
}

const char* PostgresRow::value(int i) const {
    if (i < 0 || i >= columns_ || row_ < 0 || row_ >= rows_ || PQgetisnull(r_, row_, i)) {
        return nullptr;
    }
    return PQgetvalue(r_, row_, i);
}
