// Arbitrary single-record JSON changes applied to a loaded table that has a column of every code;
// every value of both records is read afterwards.
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "tables/base_client.h"
#include "tables/table_error.h"
#include "tests/tables/table_file_builder.h"

namespace {

const table_files::WorkDir kWorkDir;
const QByteArray kFile = WriteTableFile(table_files::EveryCodeTable(), false);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBaseClient t;
    t.NameTableS = QStringLiteral("gps");
    if (!table_files::WriteBytes(QStringLiteral("temp/in.bin"), kFile) ||
        !t.LoadFromFile(QStringLiteral("temp/in.bin"))) {
        return 0;
    }
    t.RefreshFromJSON(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (int32_t rec = 1; rec <= 2; ++rec) {
        t.RecNoTemp = rec;
        for (const auto& f : t.Fields) {
            f->AsString();
            f->GetSprValueNumber();
            try {
                f->AsFloat();
            } catch (const TableConversionError&) {
            }
        }
    }
    return 0;
}
