// Arbitrary server texts through the dispatcher of a logged-in client whose six tables hold records:
// no text, however malformed, may crash it, read outside its buffers, or make it store a file under
// a name that leaves the "temp" folder.
#include <QDir>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "infra/codepage.h"
#include "infra/files.h"
#include "session/client_udp.h"
#include "tables/table_file_writer.h"

namespace {

const char* const kTables[] = {"object", "gps", "gpeople", "groupgps", "gpsug", "gpsshab"};

TableFileColumn Column(int32_t id, const char* name, uint8_t code, int32_t size) {
    TableFileColumn c;
    c.n_abs = id;
    c.name = QString::fromLatin1(name);
    c.TypeField = code;
    c.Size = size;
    return c;
}

void Load(TBaseClient& table) {
    TableFileContent t;
    t.name = table.NameTableS;
    t.RecordCount = 2;
    TableFileColumn& id = t.columns.emplace_back(Column(1, "n_abs", 1, 4));
    AppendValue(id, int32_t(17));
    AppendValue(id, int32_t(18));
    TableFileColumn& flags = t.columns.emplace_back(Column(2, "p_d", 3, 1));
    AppendValue(flags, uint8_t(0));
    AppendValue(flags, uint8_t(0));
    TableFileColumn& text = t.columns.emplace_back(Column(3, "name", 24, 4));
    AppendVarText(text, QStringLiteral("a"));
    AppendVarText(text, QStringLiteral("b"));
    const QString path = QStringLiteral("temp/") + t.name + QStringLiteral(".tbl");
    WriteTableFileTo(path, t, false);
    table.LoadTypeRaw = true;
    table.LoadFromFile(path);
}

struct Session {
    QTemporaryDir scratch;
    TBaseC tables;
    std::unique_ptr<client_udp> client;

    Session() {
        QDir::setCurrent(scratch.path());
        SetOpenRetries(0);
        for (const char* name : kTables) {
            AddTable(tables, QString::fromLatin1(name), QString(), QString(), false, false);
        }
        // Port 9 (discard) on loopback: what the dispatcher sends goes nowhere.
        client = std::make_unique<client_udp>(QStringLiteral("fuzz"), QStringLiteral("127.0.0.1"), 9);
        client->SetBases(&tables);
        client->Connect = true;
        client->Connected = true;
        client->tId = QStringLiteral("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");
    }

    // Every input starts from a logged-in client with loaded tables and empty queues.
    void Reset() {
        for (int32_t i = 0; i < tables.Count(); ++i) {
            if (!tables[i]->FlagLoadData) {
                Load(*tables[i]);
            }
        }
        client->Connected = true;
        client->DatabaseLoad = true;
        QString m;
        for (OchFIFOJSON* queue : {&client->Soob, &client->SoobFile, &client->ReadJSON}) {
            while (queue->GetSoobD(m)) {
            }
        }
    }
};

bool StaysInTemp(const QString& name) {
    return name.isEmpty() || (!name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':') &&
                              name != u"." && name != u"..");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Session session;
    session.Reset();
    client_udp& client = *session.client;
    client.DispatchJSON(fromAnsi(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size))));
    if (!StaysInTemp(client.FileNameRecive) || !StaysInTemp(client.ArchiveFileName)) {
        std::abort();
    }
    for (int32_t i = 0; i < session.tables.Count(); ++i) {
        if (!StaysInTemp(session.tables[i]->LoadFileName)) {
            std::abort();
        }
    }
    return 0;
}
