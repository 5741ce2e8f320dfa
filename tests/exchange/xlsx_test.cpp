// Workbooks written by the export and workbooks as other office programs write them (shared
// strings, rich text, cells without references), and archives that are no workbook at all.
#include <gtest/gtest.h>
#include <zip.h>

#include <QFile>
#include <QTemporaryDir>

#include "exchange/sheet_file.h"
#include "exchange/xlsx_reader.h"
#include "exchange/xlsx_writer.h"

namespace {

// A zip archive in memory with the given parts.
QByteArray Zip(const std::vector<std::pair<const char*, QByteArray>>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    zip_source_keep(buffer);
    for (const auto& [name, bytes] : parts) {
        zip_source_t* part = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        zip_file_add(archive, name, part, ZIP_FL_ENC_UTF_8);
    }
    zip_close(archive);
    zip_source_open(buffer);
    zip_source_seek(buffer, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    QByteArray out(qsizetype(size), '\0');
    zip_source_read(buffer, out.data(), zip_uint64_t(size));
    zip_source_close(buffer);
    zip_source_free(buffer);
    zip_error_fini(&error);
    return out;
}

QByteArray SheetXml(const QByteArray& rows) {
    return "<?xml version=\"1.0\"?><worksheet "
           "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           rows + "</sheetData></worksheet>";
}

TEST(XlsxReader, ReadsWhatTheExportWrites) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.xlsx");
    XlsxSheetWriter writer(path);
    ASSERT_TRUE(writer.Opened());
    writer.Header({"Номер", "Наименование", "Широта", "Изменена"});
    writer.Line({{"101"},
                 {"Газель «белая»"},
                 {"55,75", ExportCell::Kind::Number, 55.75},
                 {"01.02.2024 10:30:00", ExportCell::Kind::DateTime, 45323.4375}});
    writer.Line({{""}, {"УАЗ & <Ко>"}, {"", ExportCell::Kind::Number, -1}, {""}});
    ASSERT_EQ(writer.Finish(), QString());
    EXPECT_FALSE(QFile::exists(path + ".part"));

    const SheetRead read = ReadSheetFile(path);
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    EXPECT_EQ(read.sheet.header, (QStringList{"Номер", "Наименование", "Широта", "Изменена"}));
    ASSERT_EQ(read.sheet.lines.size(), 2u);
    EXPECT_EQ(read.sheet.lines[0].line, 2);
    EXPECT_EQ(read.sheet.lines[0].cells, (QStringList{"101", "Газель «белая»", "55.75", "45323.4375"}));
    EXPECT_EQ(read.sheet.lines[1].cells, (QStringList{"", "УАЗ & <Ко>", "-1"}));
}

TEST(XlsxReader, ReadsSharedStringsRichTextAndCellsWithoutReferences) {
    const QByteArray shared =
        "<sst><si><t>ФИО</t></si><si><r><t>Ива</t></r><r><t>нов</t></r><rPh><t>いわ</t></rPh></si></sst>";
    const QByteArray sheet = SheetXml(
        "<row r=\"1\"><c t=\"s\"><v>0</v></c><c r=\"C1\" t=\"inlineStr\"><is><t>Телефон</t></is></c></row>"
        "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>1</v></c><c r=\"C3\" t=\"b\"><v>1</v></c><c "
        "t=\"e\"><v>#N/A</v></c></row>");
    const SheetRead read =
        ReadXlsx(Zip({{"xl/sharedStrings.xml", shared}, {"xl/worksheets/sheet1.xml", sheet}}));
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    EXPECT_EQ(read.sheet.header, (QStringList{"ФИО", "", "Телефон"}));
    ASSERT_EQ(read.sheet.lines.size(), 1u);
    EXPECT_EQ(read.sheet.lines[0].line, 3);
    EXPECT_EQ(read.sheet.lines[0].cells, (QStringList{"Иванов", "", "1"}));
}

TEST(XlsxReader, FollowsTheWorkbookToItsFirstSheet) {
    const QByteArray workbook =
        "<workbook xmlns:r=\"r\"><sheets><sheet name=\"Лист\" sheetId=\"1\" "
        "r:id=\"rId7\"/></sheets></workbook>";
    const QByteArray rels =
        "<Relationships><Relationship Id=\"rId7\" Target=\"worksheets/data.xml\"/></Relationships>";
    const SheetRead read = ReadXlsx(
        Zip({{"xl/workbook.xml", workbook},
             {"xl/_rels/workbook.xml.rels", rels},
             {"xl/worksheets/data.xml", SheetXml("<row><c><v>a</v></c></row><row><c><v>1</v></c></row>")}}));
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    EXPECT_EQ(read.sheet.header, QStringList{"a"});
}

TEST(XlsxReader, RefusesArchivesThatAreNoGoodWorkbook) {
    const QByteArray good =
        Zip({{"xl/worksheets/sheet1.xml", SheetXml("<row><c><v>a</v></c></row><row><c><v>1</v></c></row>")}});
    const std::vector<std::pair<QByteArray, const char*>> cases = {
        {"PK\x03\x04 not really", "архив повреждён"},
        {good.left(good.size() / 2), "архив повреждён"},
        {Zip({{"other.xml", "<a/>"}}), "нет части"},
        {Zip({{"xl/worksheets/sheet1.xml", SheetXml("<row><c><v>a</v></c>")}}), "не читается"},
        {Zip({{"xl/worksheets/sheet1.xml", "<worksheet><sheetData><row><c><v>a</v></c></row>"}}),
         "обрывается"},
        {Zip({{"xl/worksheets/sheet1.xml", SheetXml("<row><c t=\"s\"><v>5</v></c></row>")}}),
         "несуществующий текст"},
        {Zip({{"xl/worksheets/sheet1.xml", SheetXml("<row><c r=\"ZZZ1\"><v>1</v></c></row>")}}), "столбцов"},
        {Zip({{"xl/worksheets/sheet1.xml", SheetXml("<row><c><v>a</v></c></row>")}}),
         "только строка заголовка"},
    };
    for (const auto& [bytes, message] : cases) {
        const SheetRead read = ReadXlsx(bytes);
        EXPECT_FALSE(read.ok()) << message;
        EXPECT_TRUE(read.error.contains(QString::fromUtf8(message))) << read.error.toStdString();
    }
}

}  // namespace
