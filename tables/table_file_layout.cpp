#include "tables/table_file_layout.h"

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

bool ReadDictionaryEntry(ByteReader& in, uint8_t code, uint32_t& key, QByteArrayView& text) {
    const qsizetype keyBytes = code == FieldCode::Dict16 ? 4 : 2;
    if (!in.Has(keyBytes + 1) || !in.Has(keyBytes + 1 + int64_t(in.Peek<uint8_t>(keyBytes)))) {
        return false;
    }
    key = keyBytes == 4 ? in.Peek<uint32_t>(0) : in.Peek<uint16_t>(0);
    in.Skip(keyBytes);
    return in.ReadShortText(text);
}

bool ReadDictionary(ByteReader& in, uint8_t code, int32_t count, Stru_Data& data) {
    const bool wide = code == FieldCode::Dict16;
    const qsizetype minEntry = wide ? 5 : 3;
    if (count < 0 || count > in.Remaining() / minEntry) {
        return false;
    }
    data.DataStringN.clear();
    data.DataStringN.reserve(size_t(count));
    if (wide) {
        data.DataCardinal.clear();
        data.DataCardinal.reserve(size_t(count));
    } else {
        data.DataWord.clear();
        data.DataWord.reserve(size_t(count));
    }
    for (int32_t i = 0; i < count; ++i) {
        uint32_t key = 0;
        QByteArrayView text;
        if (!ReadDictionaryEntry(in, code, key, text)) {
            return false;
        }
        if (wide) {
            data.DataCardinal.push_back(key);
        } else {
            data.DataWord.push_back(uint16_t(key));
        }
        data.DataStringN.push_back(fromAnsi(text));
    }
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

void AppendDictionaryEntry(QByteArray& out, uint8_t code, uint32_t key, QByteArrayView text) {
    if (code == FieldCode::Dict16) {
        AppendLE(out, key);
    } else {
        AppendLE(out, uint16_t(key));
    }
    AppendShortText(out, text);
}
