// Table loading after every login, one table at a time, and the live record updates that follow.
#include <QDir>
#include <QFile>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "infra/bytes.h"
#include "infra/file_names.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "session/client_udp.h"
#include "tables/record_message.h"

namespace {

bool IsHexText(const QString& s) {
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F'))) {
            return false;
        }
    }
    return true;
}

}  // namespace

void client_udp::LoadNextTable() {
    TBaseC* bases = Bases;
    if (bases == nullptr || bases->Count() == 0) {
        return;
    }
    // Only a live session's tables count as loaded: after a drop the next login reloads them all.
    if (Connected && !DatabaseLoad && tablesLoading_ == 0) {
        // With no load running every table load finished has reported its outcome.
        tableLoads_.clear();
        ReloadFailedTables();
        bool all = true;
        for (int32_t i = 0; i < bases->Count() && all; ++i) {
            all = bases->At(i)->FlagLoadData;
        }
        if (all) {
            DatabaseLoad = true;
        }
    }
    if (!Connected || DatabaseLoad || StartLoadDatabase) {
        return;
    }
    for (int32_t i = 0; i < bases->Count(); ++i) {
        TBaseClient& table = *bases->At(i);
        if (table.FlagLoadData || table.StartLoad) {
            continue;
        }
        StartLoadDatabase = true;
        table.StartLoad = true;
        try {
            Soob.PutSoob(table.GetJSONLoad());
        } catch (const std::exception& e) {
            // Loading stays blocked until the session drops and the next login starts again.
            Log(QStringLiteral("load request of ") + table.NameTableS + QStringLiteral(" failed: ") +
                QString::fromUtf8(e.what()));
        }
        return;
    }
}

void client_udp::HandleTableRawFromFile(const QString& m) {
    const QString name = GetJSONValue(m, QStringLiteral("name"));
    const QString filename = GetJSONValue(m, QStringLiteral("filename"));
    TBaseC* bases = Bases;
    if (TBaseClient* table = bases != nullptr ? bases->Find(name) : nullptr) {
        auto guard = table->Guard();
        table->LoadFileName = SafeFileName(filename);
        table->LoadTypeRaw = true;
        table->Zip = GetJSONValue(m, QStringLiteral("zip")) == u"1";
        table->veltax = GetJSONValue(m, QStringLiteral("x")) == u"1";
    }
    bool ok = false;
    const qint64 size = GetJSONValue(m, QStringLiteral("size")).toLongLong(&ok);
    SizeLoad += ok ? size : 0;
    GetFileRequest request(SessionFilePath(tId, filename));
    request.Name(filename);
    Log(QStringLiteral("table ") + name + QStringLiteral(" file ") + request.Text());
    Soob.PutSoob(request.DeleteAfter().Text());
}

bool client_udp::TableFileArrived(const QString& F, int64_t messageSize) {
    TBaseClient* found = nullptr;
    touchTables([&found, &F](TBaseClient& table) {
        if (found == nullptr) {
            auto guard = table.Guard();
            if (!table.LoadFileName.isEmpty() && table.LoadFileName == F) {
                found = &table;
            }
        }
    });
    if (found == nullptr) {
        return false;
    }
    StartLoadDatabase = false;
    loadTableFile(*found, kTempDir + u'/' + F, messageSize);
    return true;
}

void client_udp::loadTableFile(TBaseClient& table, const QString& path, int64_t messageSize) {
    tablesLoading_ += 1;
    const auto held = std::make_shared<std::promise<void>>();
    std::future<void> holding = held->get_future();
    // Each file loads on a thread of its own, so the loop waits only until that thread holds the
    // table, never for an earlier table still loading.
    tableLoads_.emplace_back([this, &table, path, messageSize, held] {
        {
            const auto guard = table.Guard();
            held->set_value();
            const bool loaded = table.LoadFromFile(path);
            QString notice = CommandHead(loaded ? Cmd::TableLoad : Cmd::TableLoadError) +
                             QStringLiteral(",\"name\":\"") + StrToJSONStr(table.NameTableS) +
                             QStringLiteral("\",\"size\":\"") + QString::number(messageSize) + u'"';
            if (loaded) {
                notice += QStringLiteral(",\"count\":") + QString::number(table.CountRecordFilter);
            } else {
                failedLoads_.PutSoob(table.NameTableS);
            }
            ReadJSON.PutSoob(notice + u'}');
        }
        QFile::remove(path);
        // After the failure is queued: the loop reads the failures once no load is running.
        tablesLoading_ -= 1;
        LoopWake.Signal();
    });
    holding.wait();
}

void client_udp::ReloadFailedTables() {
    TBaseC* bases = Bases;
    QString name;
    while (failedLoads_.GetSoobD(name)) {
        TBaseClient* table = bases != nullptr ? bases->Find(name) : nullptr;
        // A table asked for again without digests that still fails is left unloaded: the session
        // then ends as a stalled load does, and the next login starts afresh.
        if (table == nullptr || reloadedTables_.contains(name)) {
            Log(QStringLiteral("table ") + name + QStringLiteral(" not loaded"));
            continue;
        }
        reloadedTables_.insert(name);
        Log(QStringLiteral("table ") + name +
            QStringLiteral(" file broken, asked for again without its cache"));
        const auto guard = table->Guard();
        // Without its cache the next request carries no digests: the server sends every column.
        QDir(kTempDir + u'/' + name).removeRecursively();
        table->Clear();
        table->LoadFileName.clear();
        table->FlagLoadData = false;
        table->StartLoad = false;
        table->SendLoadData = false;
    }
}

void client_udp::ReadCachesAhead() {
    std::vector<TBaseClient*> tables;
    touchTables([&tables](TBaseClient& table) { tables.push_back(&table); });
    // Each table's lock is the hand-over: a request waits for the reading of its table, and a table
    // already asked for is passed over.
    cacheReads_ = std::jthread([tables = std::move(tables)](const std::stop_token& stop) {
        for (TBaseClient* table : tables) {
            if (stop.stop_requested()) {
                return;
            }
            table->ReadCacheAhead();
        }
    });
}

void client_udp::WaitForTableLoads() {
    cacheReads_ = {};
    tableLoads_.clear();
}

void client_udp::HandleRefreshDataDatabase(const QString& m) {
    TBaseC* bases = Bases;
    TBaseClient* table =
        bases != nullptr ? bases->Find(GetJSONValue(m, QStringLiteral("nametable"))) : nullptr;
    if (table == nullptr) {
        return;
    }
    const QString fields = GetJSONValue(m, QStringLiteral("fields"));
    bool posOk = false;
    const int32_t pos = GetJSONValue(m, QStringLiteral("pos")).toInt(&posOk);
    // A change that cannot be read is not half applied: it changes nothing.
    if (fields.size() < 2 || !IsHexText(fields) || !posOk) {
        Log(QStringLiteral("refreshdatadatabase ignored ") + m);
        return;
    }
    QByteArray data;
    HexToBytes(fields, data);
    table->PutDataFieldPos(pos, data);
    table->RefreshYes = true;
    table->RefreshData();
}

void client_udp::DispatchRaw(const QByteArray& message) {
    applyRaw(message, false);
}

void client_udp::applyRaw(QByteArrayView message, bool inBatch) {
    int32_t kind = 0;
    QByteArrayView body;
    if (!ReadRecordMessage(message, kind, body)) {
        return;
    }
    if (kind == RecordKind::Update || kind == RecordKind::Deleted) {
        QString name;
        int32_t value = 0;
        TBaseC* bases = Bases;
        TBaseClient* table =
            bases != nullptr && ReadRecordTarget(body, name, value) ? bases->Find(name) : nullptr;
        if (table == nullptr) {
            return;
        }
        if (kind == RecordKind::Update) {
            table->PutDataFieldPos(value, body.toByteArray());
        } else {
            table->DeletedRecordL(value);
        }
        table->RefreshYes = true;
        table->RefreshData();
    } else if (kind == RecordKind::Batch && !inBatch && !body.isEmpty()) {
        // Items that run past the end of the message stop the batch at the last whole item.
        for (const QByteArrayView item : BatchItems(body)) {
            applyRaw(item, true);
        }
        Log(QStringLiteral("raw10 ") + QString::number(uint8_t(body[0])));
    }
    // Event history and unknown kinds are not kept by this tool.
}
