// Files travel both ways through the session and come back byte for byte.
#include <QFile>
#include <QRandomGenerator>
#include <QUuid>

#include "harness.h"

namespace {

class FileTest : public E2eTest {
  protected:
    QByteArray WriteRandomFile(const QString& path, qsizetype size) {
        QByteArray bytes(size, '\0');
        QRandomGenerator generator(size);
        for (char& byte : bytes) {
            byte = char(generator.generate());
        }
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return bytes;
    }

    static QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(FileTest, APhotoUploadedAndFetchedBackIsByteIdentical) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess uploader(Path("uploader"), port_);
    CliProcess fetcher(Path("fetcher"), port_);
    // 960-byte pieces: a size that leaves a short last piece, an exact multiple, and an empty file.
    for (const qsizetype size : {qsizetype(123457), qsizetype(960 * 3), qsizetype(0)}) {
        const QString serverPath =
            "photo\\mobile\\" + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".jpg";
        const QByteArray bytes = WriteRandomFile(Path("photo.jpg"), size);

        const CliResult put = uploader.Run({"put-file", Path("photo.jpg"), serverPath});
        ASSERT_EQ(put.exitCode, 0) << put.errors.toStdString();
        EXPECT_EQ(ParseLine(put.lines.last()).value("size").toInteger(), size);

        const CliResult get = fetcher.Run({"get-file", serverPath, "back.jpg"});
        ASSERT_EQ(get.exitCode, 0) << get.errors.toStdString();
        EXPECT_EQ(ParseLine(get.lines.last()).value("file").toString(), "temp/back.jpg");
        EXPECT_TRUE(ReadFile(Path("fetcher/temp/back.jpg")) == bytes) << "size " << size;
    }
}

TEST_F(FileTest, AMissingServerFileIsNotConfirmed) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess fetcher(Path("fetcher"), port_);
    const CliResult get = fetcher.Run({"get-file", "photo\\mobile\\none.jpg", "none.jpg"}, 20000, 3);
    EXPECT_EQ(get.exitCode, 5);
    EXPECT_FALSE(QFile::exists(Path("fetcher/temp/none.jpg")));
}

TEST_F(FileTest, AServerPathOutsideTheFilesFolderIsRefused) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WriteRandomFile(Path("upload.bin"), 100);
    CliProcess uploader(Path("uploader"), port_);
    // Refused at once, not left to time out: the server's refusal reaches the operator.
    const CliResult put = uploader.Run({"put-file", Path("upload.bin"), "..\\..\\escaped.bin"}, 20000, 10);
    EXPECT_EQ(put.exitCode, 5);
    EXPECT_TRUE(put.errors.contains("was not sent: refused")) << put.errors.toStdString();
    EXPECT_FALSE(QFile::exists(Path("escaped.bin")));
    EXPECT_FALSE(QFile::exists(Path("server/escaped.bin")));
}

}  // namespace
