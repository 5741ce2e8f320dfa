// CSV as the operators' office programs write it, and every kind of bad file an operator may pick.
#include <gtest/gtest.h>

#include <QStringEncoder>

#include "exchange/csv_reader.h"
#include "exchange/csv_writer.h"
#include "infra/codepage.h"

namespace {

SheetRead Read(const QByteArray& bytes) {
    return ReadCsv(bytes);
}

std::vector<QStringList> Cells(const SheetRead& read) {
    std::vector<QStringList> all{read.sheet.header};
    for (const SheetLine& line : read.sheet.lines) {
        all.push_back(line.cells);
    }
    return all;
}

TEST(CsvReader, ReadsQuotedFieldsSeparatorsAndEveryLineEnd) {
    const SheetRead read = Read(
        "\xEF\xBB\xBF"
        "Номер;Наименование;Примечание\r\n"
        "101;\"Газель; белая\";\"две\r\nстроки и \"\"кавычки\"\"\"\n"
        "\n"
        ";;\r"
        "102;УАЗ;\r\n");
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    EXPECT_EQ(read.encoding, "UTF-8");
    const std::vector<QStringList> expected = {{"Номер", "Наименование", "Примечание"},
                                               {"101", "Газель; белая", "две\nстроки и \"кавычки\""},
                                               {"102", "УАЗ", ""}};
    EXPECT_EQ(Cells(read), expected);
    // Lines are numbered as in the file: the quoted line break and the skipped blank lines count.
    EXPECT_EQ(read.sheet.lines[0].line, 2);
    EXPECT_EQ(read.sheet.lines[1].line, 6);
}

TEST(CsvReader, TakesTheSeparatorTheHeaderUsesMost) {
    EXPECT_EQ(Cells(Read("a,b;c,d\n1,2;3,4\n"))[1], (QStringList{"1", "2;3", "4"}));
    EXPECT_EQ(Cells(Read("a\tb\tc;d\n1\t2\t3;4\n"))[1], (QStringList{"1", "2", "3;4"}));
    EXPECT_EQ(Cells(Read("a;b,c\n1;2,3\n"))[1], (QStringList{"1", "2,3"}));
}

TEST(CsvReader, ReadsUtf16WithItsMarkAndWindows1251WithoutOne) {
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const SheetRead wide = Read(utf16.encode(QStringLiteral("ФИО;Телефон\r\nИванов;123\r\n")));
    ASSERT_TRUE(wide.ok()) << wide.error.toStdString();
    EXPECT_EQ(wide.sheet.lines[0].cells, (QStringList{"Иванов", "123"}));

    const SheetRead ansi = Read(toAnsi(QStringLiteral("ФИО;Телефон\r\nИванов;123\r\n")));
    ASSERT_TRUE(ansi.ok()) << ansi.error.toStdString();
    EXPECT_EQ(ansi.encoding, "Windows-1251");
    EXPECT_EQ(ansi.sheet.header, (QStringList{"ФИО", "Телефон"}));
}

struct BadFile {
    const char* what;
    QByteArray bytes;
    const char* message;  // a part of the error the operator reads
};

class CsvBadFile : public testing::TestWithParam<BadFile> {};

TEST_P(CsvBadFile, IsRefusedWithAMessageThatSaysWhy) {
    const SheetRead read = Read(GetParam().bytes);
    ASSERT_FALSE(read.ok());
    EXPECT_TRUE(read.error.contains(QString::fromUtf8(GetParam().message))) << read.error.toStdString();
    EXPECT_TRUE(read.sheet.lines.empty());
}

QByteArray Binary() {
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes.append(char((i * 7919) % 256));
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CsvBadFile,
    testing::Values(BadFile{"empty", "", "пуст"},
                    BadFile{"blank lines only", "\r\n;;\r\n\r\n", "нет ни заголовка"},
                    BadFile{"header only", "Номер;Наименование\r\n", "только строка заголовка"},
                    BadFile{"binary", Binary(), "нулевые байты"},
                    BadFile{"control characters", "a;b\r\n1;\x01\x02\r\n", "не похож на текст"},
                    BadFile{"utf-8 mark over other bytes",
                            "\xEF\xBB\xBF"
                            "a;b\r\n\xC0\xC1;2\r\n",
                            "не в этой кодировке"},
                    BadFile{"quote left open", "a;b\r\n1;2\r\n3;\"four\r\n5;6\r\n", "открытая в строке 3"},
                    BadFile{"ten megabytes of one line", QByteArray(10 * 1024 * 1024, 'x'), "длиннее 32767"},
                    BadFile{"too many columns", QByteArray(5000, ';') + "\r\n1\r\n", "больше 1024 столбцов"}),
    [](const testing::TestParamInfo<BadFile>& info) {
        std::string name = info.param.what;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(uint8_t(c)); }, '_');
        return name;
    });

TEST(CsvWriter, WritesWhatTheReaderReadsBack) {
    const QStringList header = {"Номер", "Наименование"};
    const QStringList awkward = {" ведущий пробел", "a;b \"c\"\r\nd"};
    const QByteArray bytes = QByteArrayLiteral("\xEF\xBB\xBF") + CsvLine(header) + CsvLine(awkward);
    EXPECT_TRUE(CsvLine(header).endsWith("\r\n"));
    const SheetRead read = Read(bytes);
    ASSERT_TRUE(read.ok());
    // A CR LF inside a field comes back as a line feed.
    EXPECT_EQ(read.sheet.lines[0].cells, (QStringList{" ведущий пробел", "a;b \"c\"\nd"}));
}

}  // namespace
