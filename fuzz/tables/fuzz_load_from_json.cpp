// Arbitrary JSON table texts; every column of the result is read for every record. Texts whose
// "count" exceeds 10,000 are skipped: a valid text may announce up to ten million records, which the
// loader allocates for each column by design.
#include <QString>
#include <cstddef>
#include <cstdint>

#include "infra/json_text.h"
#include "tables/base_client.h"
#include "tables/table_error.h"
#include "tests/tables/table_file_builder.h"

namespace {

const table_files::WorkDir kWorkDir;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (GetJSONValue(text, QStringLiteral("count")).toLongLong() > 10000) {
        return 0;
    }
    TBaseClient t;
    try {
        t.LoadFromJSON(text);
    } catch (const TableConversionError&) {
        return 0;
    }
    for (int32_t rec = 0; rec <= t.CountRecord + 1; ++rec) {
        t.RecNoTemp = rec;
        for (const auto& f : t.Fields) {
            f->AsString();
            try {
                f->AsInteger();
            } catch (const TableConversionError&) {
            }
        }
    }
    return 0;
}
