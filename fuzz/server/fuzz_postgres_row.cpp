// Whatever a PostgreSQL server answers, reading its binary rows neither crashes nor reads out of
// bounds: a result of any column types, NULLs and value lengths is built with libpq's own result
// functions and every value is read as an integer, a real and bytes, also past the last row and
// column.
#include <libpq-fe.h>

#include <cstdint>
#include <vector>

#include "server/postgres_row.h"

namespace {

const unsigned kTypes[] = {PgType::Bool, PgType::Bytea,  PgType::Int8,   PgType::Int2,    PgType::Int4,
                           PgType::Text, PgType::Float4, PgType::Float8, PgType::Varchar, 1700};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    const int columns = next() % 6 + 1;
    const int rows = next() % 4;
    PGresult* r = PQmakeEmptyPGresult(nullptr, PGRES_TUPLES_OK);
    if (!r) {
        return 0;
    }
    std::vector<PGresAttDesc> attributes(static_cast<size_t>(columns));
    char name[] = "c";
    for (PGresAttDesc& a : attributes) {
        a = PGresAttDesc{};
        a.name = name;
        a.format = 1;
        a.typid = kTypes[next() % std::size(kTypes)];
    }
    if (PQsetResultAttrs(r, columns, attributes.data())) {
        for (int row = 0; row < rows; ++row) {
            for (int col = 0; col < columns; ++col) {
                const int length = next() % 12;
                const bool null = length == 11;
                const size_t n = std::min<size_t>(size_t(length), size - at);
                PQsetvalue(r, row, col,
                           null ? nullptr : const_cast<char*>(reinterpret_cast<const char*>(data + at)),
                           null ? -1 : int(n));
                at += null ? 0 : n;
            }
        }
        PostgresRow reader(r);
        for (int row = -1; row <= rows; ++row) {
            reader.at(row);
            for (int col = -1; col <= columns; ++col) {
                reader.integer(col);
                reader.real(col);
                reader.bytes(col);
            }
        }
    }
    PQclear(r);
    return 0;
}
