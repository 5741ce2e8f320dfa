#include "record_json.h"

#include "cli/output.h"
#include "tables/base_client.h"

namespace {

// Reads every column of the record the table has selected as current (RecNo).
QString CurrentRecordPairs(TBaseClient& table) {
    const QString idName = QStringLiteral("n_abs");
    QString pairs = QStringLiteral("\"n_abs\":%1").arg(table.GetFieldCurrentAsInteger(idName));
    const int32_t count = table.GetCountFields();
    for (int32_t number = 1; number <= count; ++number) {
        FieldGFB* column = table.GetFieldNumberCurrent(number);
        if (column == nullptr || column->TypeField == 0 || column->name == idName) {
            continue;
        }
        pairs += u',' + JsonString(column->name) + u':' + JsonString(column->AsString());
    }
    return pairs;
}

}  // namespace

QString RecordPairsAt(TBaseClient& table, int32_t pos) {
    table.SetRecordIndex(pos);
    return CurrentRecordPairs(table);
}

QString RecordPairsOf(TBaseClient& table, int32_t n_abs) {
    if (!table.GotoAbs(n_abs)) {
        return {};
    }
    return CurrentRecordPairs(table);
}
