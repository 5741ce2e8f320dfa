// Whatever a client sends, the server neither crashes nor reads or writes out of bounds: command
// texts go to the command handler of a logged-in session, raw bytes go through the server's
// datagram intake, and data packets with any header go to a session's receive side. The first
// input byte picks the path.
#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <cstring>

#include "infra/codepage.h"
#include "server/commands.h"
#include "server/demo_data.h"
#include "server/server.h"

namespace {

struct World {
    QTemporaryDir dir;
    Storage storage;
    MemoryBudget partials{64 << 20};
    std::unique_ptr<Commands> commands;
    std::unique_ptr<Server> server;

    World() {
        QDir::setCurrent(dir.path());
        QString error;
        storage.open(dir.filePath(QStringLiteral("fuzz.db")), error);
        FillDemoData(storage, 0, 1);
        commands = std::make_unique<Commands>(
            storage, FilesFolder(dir.filePath(QStringLiteral("files")), ServerLimits{}),
            [](const QString&) {}, [](const auto&) {});
        ServerOptions o;
        o.port = 0;
        o.db = dir.filePath(QStringLiteral("server.db"));
        o.files = dir.filePath(QStringLiteral("server-files"));
        o.demo = true;
        server = std::make_unique<Server>(o, [](const QString&) {});
        server->start(error);
    }
};

World& world() {
    static World w;
    return w;
}

std::unique_ptr<ClientSession> loggedIn(World& w) {
    auto s = std::make_unique<ClientSession>(
        UdpAddress{0x7F000001, 4000}, [](const char*, int) {}, 0, w.partials);
    s->logIn(QStringLiteral("admin"), w.storage.userId(QStringLiteral("admin")), 1);
    for (const TableDef& t : ServerTables()) {
        s->loadedTables.insert(t.name);
    }
    return s;
}

int32_t readInt(const uint8_t* p) {
    int32_t v;
    memcpy(&v, p, 4);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    World& w = world();
    const uint8_t mode = data[0] % 3;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (mode == 0) {
        auto s = loggedIn(w);
        w.commands->handle(*s, fromAnsi(rest));
        for (uint64_t t = 1; t < 5; ++t) {
            s->pump(t * 1000000);
        }
    } else if (mode == 1) {
        w.server->receive(rest, UdpAddress{0x7F000001, uint16_t(4000 + (size & 7))});
        w.server->pass(0);
    } else if (rest.size() >= 21) {
        auto s = loggedIn(w);
        s->acceptUpload(
            FilesFolder(w.dir.path(), ServerLimits{}).startUpload(QStringLiteral("upload.bin"), s->user));
        const uint8_t* p = data + 1;
        DatagramHeader h;
        h.PacketType = p[0] & 1;
        h.MessageNumber = readInt(p + 1);
        h.PacketCount = readInt(p + 5);
        h.PacketNumber = readInt(p + 9);
        h.MessageSize = readInt(p + 13) & 0xFFFFF;
        h.Offset = readInt(p + 17);
        QString text;
        const QByteArray payload = rest.mid(21);
        for (int i = 0; i < 3; ++i) {
            s->takePacket(h, payload, text, 0);
            // The next packet of the same message; header values wrap as on the wire.
            h.PacketNumber = int32_t(uint32_t(h.PacketNumber) + 1u);
            h.Offset = int32_t(uint32_t(h.Offset) + uint32_t(payload.size()));
        }
    }
    return 0;
}
