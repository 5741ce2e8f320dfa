#include "tables/snapshot_layout.h"

#include "infra/codepage.h"

bool ReadTableHeader(ByteReader& in, TableHeader& header) {
    QByteArrayView raw;
    if (!in.Take(kTableHeaderSize, raw)) {
        return false;
    }
    ByteReader r(raw);
    QByteArrayView nameSlot;
    r.Take(9, nameSlot);
    header.name = SlotText(nameSlot);
    r.Read(header.RecordCount);
    r.Read(header.DataBlockCount);
    r.Read(header.ColumnCount);
    header.raw = raw;
    return true;
}

bool ReadColumnDescriptor(ByteReader& in, ColumnDescriptor& descriptor) {
    QByteArrayView raw;
    if (!in.Take(kDescriptorSize, raw)) {
        return false;
    }
    ByteReader r(raw);
    QByteArrayView nameSlot;
    Stru_NetFields& f = descriptor.fields;
    r.Read(f.n_abs);
    r.Take(16, nameSlot);
    f.name = SlotText(nameSlot);
    r.Read(f.TypeField);
    r.Read(f.Size);
    r.Read(f.SprSize);
    r.Skip(4);
    r.Read(descriptor.Extra);
    descriptor.raw = raw;
    return true;
}

void AppendTableHeader(QByteArray& out, const QString& name, int32_t recordCount, int32_t blockCount,
                       int32_t columnCount) {
    out.append(TextSlot(name, 9));
    AppendLE(out, recordCount);
    AppendLE(out, blockCount);
    AppendLE(out, columnCount);
}

void AppendColumnDescriptor(QByteArray& out, const Stru_NetFields& fields, int32_t extra) {
    AppendLE(out, fields.n_abs);
    out.append(TextSlot(fields.name, 16));
    AppendLE(out, fields.TypeField);
    AppendLE(out, fields.Size);
    AppendLE(out, fields.SprSize);
    AppendLE(out, int32_t(0));
    AppendLE(out, extra);
}

bool IsSafeFileComponent(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}
