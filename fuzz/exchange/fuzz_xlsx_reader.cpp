// Any bytes as an import file read as an XLSX workbook: the archive, its XML parts and the cell
// references are all outside input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "exchange/xlsx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SheetRead read = ReadXlsx(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (read.ok() == read.sheet.lines.empty()) {
        std::abort();
    }
    return 0;
}
