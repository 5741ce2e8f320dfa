// Files a logged-in client should not get away with, against the server as a process on loopback:
// links placed inside the files folder lead nowhere, an upload writes only its own temporary file,
// which goes when the session ends, a second upload to a path in progress and a name too long for
// the file system are refused up front.
#include <QDir>
#include <QFile>

#include "harness.h"
#include "tests/server/wire_client.h"

namespace {

const QString kRefused = QStringLiteral("{\"$c$\":\"startrecivefileerror\"}");
const QString kAccepted = QStringLiteral("{\"$c$\":\"startrecivefile\"}");

QString offer(const QString& serverPath) {
    return QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"x.jpg\",\"nameinserv\":\"%1\"}").arg(serverPath);
}

class FileAttackTest : public E2eTest {
  protected:
    QString Files(const QString& name = {}) const { return Path("server/server-files/" + name); }
    QString Outside(const QString& name) const { return Path("outside/" + name); }
    // Files in the folder, hidden ones too.
    QStringList Listed(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
};

TEST_F(FileAttackTest, LinksInsideTheFilesFolderLeadNowhere) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    ASSERT_TRUE(QDir().mkpath(Outside("")) && QDir().mkpath(Files("photo")));
    QFile secret(Outside("secret"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("secret");
    secret.close();
    ASSERT_TRUE(QFile::link(Outside("secret"), Files("photo/link.jpg")));
    ASSERT_TRUE(QFile::link(Path("outside"), Files("out")));

    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    c.send(QStringLiteral(R"({"$c$":"getfile","name":"a.jpg","nameinserv":"photo\\link.jpg"})"));
    EXPECT_TRUE(c.waitFor(QStringLiteral("sendfilenotfind")));
    c.send(QStringLiteral(R"({"$c$":"getfile","name":"a.jpg","nameinserv":"out\\secret"})"));
    EXPECT_TRUE(c.waitFor(QStringLiteral("sendfilenotfind"), 10, 2));
    EXPECT_FALSE(c.has(QStringLiteral("\"sendfile\"")));

    c.send(offer(QStringLiteral("out\\\\x.jpg")));
    EXPECT_TRUE(c.waitFor(kRefused));
    // Through a link in the last place, the upload replaces the link and writes nothing outside.
    c.send(offer(QStringLiteral("photo\\\\link.jpg")));
    ASSERT_TRUE(c.waitFor(kAccepted));
    c.sendMessage(PacketTypes::File, "new");
    for (int i = 0; i < 200 && QFileInfo(Files("photo/link.jpg")).isSymLink(); ++i) {
        c.socket.WaitReadable(10);
        c.poll();
    }
    EXPECT_FALSE(QFileInfo(Files("photo/link.jpg")).isSymLink());
    EXPECT_EQ(Listed(Path("outside")), QStringList{"secret"});
    ASSERT_TRUE(secret.open(QIODevice::ReadOnly));
    EXPECT_EQ(secret.readAll(), QByteArray("secret"));
}

TEST_F(FileAttackTest, UploadsOneAtATimeToAPathAndNothingLeftWhenAbandoned) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient a(port_);
    WireClient b(port_);
    ASSERT_TRUE(a.login("admin", "admin"));
    ASSERT_TRUE(b.login("admin", "admin"));

    b.send(offer("photo\\\\" + QString(256, u'n') + ".jpg"));
    EXPECT_TRUE(b.waitFor(kRefused));

    a.send(offer(QStringLiteral("photo\\\\a.jpg")));
    ASSERT_TRUE(a.waitFor(kAccepted));
    b.send(offer(QStringLiteral("photo\\\\a.jpg")));
    EXPECT_TRUE(b.waitFor(kRefused, 10, 2));
    // Half an upload: one piece of two.
    a.sendPiece(PacketTypes::File, ++a.number, 2, 2 * kMaxDataBytes, 1, 0, QByteArray(kMaxDataBytes, 'a'));
    a.send(QStringLiteral("{\"$c$\":\"testex\"}"));
    ASSERT_TRUE(a.waitFor(QStringLiteral("testex"), 10, 2));
    EXPECT_EQ(Listed(Files("photo")).size(), 1);
    EXPECT_FALSE(QFile::exists(Files("photo/a.jpg")));

    a.send(QStringLiteral("{\"$c$\":\"closeclient\"}"));
    for (int i = 0; i < 500 && !Listed(Files("photo")).isEmpty(); ++i) {
        b.socket.WaitReadable(10);
    }
    EXPECT_TRUE(Listed(Files("photo")).isEmpty());
    // The path is free again.
    b.send(offer(QStringLiteral("photo\\\\a.jpg")));
    EXPECT_TRUE(b.waitFor(kAccepted));
}

}  // namespace
