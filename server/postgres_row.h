// One row of a PostgreSQL result in binary form, read in place: 64-, 32- and 16-bit integers and
// Booleans, 64- and 32-bit floating point, texts and byte arrays. Every value's type and length are
// checked before it is read; a value of another type or length reads as 0 or empty. Valid while its
// result lives; not thread-safe.
#pragma once

#include "sql_database.h"

struct pg_result;

// Type identifiers of PostgreSQL's built-in types, as its catalogue fixes them.
namespace PgType {
inline constexpr unsigned Bool = 16;
inline constexpr unsigned Bytea = 17;
inline constexpr unsigned Int8 = 20;
inline constexpr unsigned Int2 = 21;
inline constexpr unsigned Int4 = 23;
inline constexpr unsigned Text = 25;
inline constexpr unsigned Float4 = 700;
inline constexpr unsigned Float8 = 701;
inline constexpr unsigned Varchar = 1043;
}  // namespace PgType

class PostgresRow final : public SqlRow {
  public:
    explicit PostgresRow(const pg_result* result);
    // Selects the row to read (0-based); rows outside the result read as NULL.
    void at(int row) { row_ = row; }

    int64_t integer(int column) const override;
    double real(int column) const override;
    QByteArray bytes(int column) const override;

  private:
    // The value's bytes, nullptr for NULL or a column or row that is not there.
    const char* value(int column) const;

    const pg_result* r_;
    int columns_;
    int rows_;
    int row_ = 0;
};
