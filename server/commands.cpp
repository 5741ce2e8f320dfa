#include "commands.h"

#include <QDateTime>

#include "edit_fields.h"
#include "infra/file_names.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "record_messages.h"

namespace {

constexpr qsizetype kMaxPendingSnapshots = 12;

QString lit(const char* s) {
    return QString::fromLatin1(s);
}

// Longer marks are no GUIDs of a client of ours: such an addition is stored as one without a mark.
constexpr qsizetype kMaxMarkLength = 64;

// The digests of a load request's "md5" object (its inner text), read in one pass: the first for
// each column of the table, and no more pairs once every column has one. A client sends one pair
// per column it holds; a megabyte of other pairs costs one pass and takes no memory.
QHash<QString, QString> digestsOf(const QString& md5, const TableDef& def) {
    QHash<QString, QString> digests;
    const qsizetype n = md5.size();
    qsizetype i = 0;
    while (digests.size() < qsizetype(def.columns.size())) {
        const qsizetype keyStart = md5.indexOf(u'"', i) + 1;
        const qsizetype keyEnd = keyStart > 0 ? md5.indexOf(u'"', keyStart) : -1;
        if (keyEnd < 0 || keyEnd + 2 >= n || md5[keyEnd + 1] != u':') {
            break;
        }
        i = keyEnd + 2;
        if (md5[i] != u'"') {
            continue;  // not a digest: the next pair's key is found by its quote
        }
        QString value;
        for (++i; i < n && md5[i] != u'"'; ++i) {
            if (md5[i] == u'\\' && i + 1 < n) {
                ++i;
            }
            value += md5[i];
        }
        ++i;
        const QString key = md5.mid(keyStart, keyEnd - keyStart);
        if (def.indexOf(key) >= 0 && !digests.contains(key)) {
            digests.insert(key, value);
        }
    }
    return digests;
}

// Columns the server keeps itself; a client's value for them is ignored.
bool serverKept(const QString& name) {
    return name == lit("n_abs") || name == lit("dt_c") || name == lit("dt_m") || name == lit("n_user") ||
           name == lit("ver");
}

}  // namespace

Commands::Commands(Storage& storage, FilesFolder files, Log log, EachSession eachSession)
    : storage_(storage),
      files_(std::move(files)),
      log_(std::move(log)),
      eachSession_(std::move(eachSession)) {}

QString Commands::Version() {
    return lit("1.0.0.0");
}

void Commands::prepareSnapshots() {
    for (const TableData& t : storage_.tables()) {
        snapshots_.prepare(t);
    }
}

void Commands::handle(ClientSession& s, const QString& text) {
    const QString c = CommandOf(text);
    if (c != Cmd::Testex) {
        log_(s.tid.left(8) + lit(" <<<< ") + text.left(300));
    }
    if (c == Cmd::Testex) {
        s.queueTextOnce(CommandText(Cmd::Testex));
    } else if (c == Cmd::Database) {
        const QString command = GetJSONValue(TableCommandHead(text), lit("command"));
        if (command == TableCmd::GetTableRaw) {
            loadRequest(s, text);
        } else if (command == TableCmd::NetAddDataDatabase || command == TableCmd::NetEditDataDatabase ||
                   command == TableCmd::NetDeleteDataDatabase) {
            edit(s, text, command);
        } else {
            log_(lit("unknown database command: ") + text.left(200));
        }
    } else if (c == Cmd::GetFile) {
        getFile(s, text);
    } else if (c == Cmd::SendFile) {
        offerFromClient(s, text);
    } else if (c == Cmd::StartReciveFile) {
        s.fileAccepted();
    } else {
        log_(lit("unknown command: ") + text.left(200));
    }
}

void Commands::loadRequest(ClientSession& s, const QString& text) {
    const QString name = GetJSONValue(text, lit("name"));
    TableData* table = storage_.table(name);
    if (!table) {
        log_(lit("load request for unknown table: ") + name.left(64));
        return;
    }
    ClientSession::PendingSnapshot p;
    p.table = name;
    p.digests = digestsOf(GetJSONValue(text, lit("md5")), table->def());
    p.pieces = snapshots_.buildPieces(*table, p.digests);
    p.version = table->version();
    const QString fileName = lit("%1_%2.tbl").arg(name).arg(++snapshotCounter_);
    // A client asks for one table at a time; one that keeps asking without fetching holds no more.
    if (s.snapshots.size() >= kMaxPendingSnapshots) {
        s.snapshots.clear();
    }
    qsizetype size = 0;
    for (const QByteArray& piece : p.pieces) {
        size += piece.size();
    }
    s.snapshots.insert(fileName, std::move(p));
    s.queueText(CommandHead(Cmd::TableRawFromFile) + lit(",\"name\":\"") + name + lit("\",\"filename\":\"") +
                fileName + lit("\",\"zip\":\"0\",\"x\":\"0\",\"size\":") + QString::number(size) + u'}');
}

void Commands::getFile(ClientSession& s, const QString& text) {
    const QString serverPath = GetJSONValue(text, lit("nameinserv"));
    QString name = FileNamePart(GetJSONValue(text, lit("name")));
    if (name.isEmpty()) {
        name = FileNamePart(serverPath);
    }
    // Snapshots are requested as client9\<session>\<file name>.
    const QString own = SessionFilePath(s.tid, QString());
    if (serverPath.startsWith(own)) {
        auto it = s.snapshots.find(serverPath.mid(own.size()));
        if (it == s.snapshots.end()) {
            s.queueText(CommandHead(Cmd::SendFileNotFind) + lit(",\"nameinserv\":\"") +
                        StrToJSONStr(serverPath) + lit("\"}"));
            return;
        }
        TableData* table = storage_.table(it->table);
        // The client gets changes from now on, so the file must hold every change made until now.
        if (table->version() != it->version) {
            it->pieces = snapshots_.buildPieces(*table, it->digests);
        }
        s.loadedTables.insert(it->table);
        s.queueFile(OutgoingFile{name, std::move(it->pieces), {}});
        s.snapshots.erase(it);
        return;
    }
    const QString inside = FilesFolder::confine(serverPath);
    if (inside.isEmpty() || name.isEmpty() || !files_.openForReading(inside)) {
        if (inside.isEmpty()) {
            log_(lit("refused file path: ") + serverPath.left(200));
        }
        s.queueText(CommandHead(Cmd::SendFileNotFind) + lit(",\"nameinserv\":\"") + StrToJSONStr(serverPath) +
                    lit("\"}"));
        return;
    }
    // Opened again when its turn comes: a queue of requests holds no open files.
    s.queueFile(OutgoingFile{name, {}, [files = files_, inside] { return files.openForReading(inside); }});
}

void Commands::offerFromClient(ClientSession& s, const QString& text) {
    const QString serverPath = GetJSONValue(text, lit("nameinserv"));
    const QString inside = FilesFolder::confine(serverPath);
    // The client repeats its offer until it hears the acceptance, which is on its way already.
    if (!inside.isEmpty() && s.uploadPending() && s.uploadPath() == inside) {
        return;
    }
    std::unique_ptr<UploadFile> upload = files_.startUpload(inside, s.user);
    if (!upload) {
        log_(lit("refused upload path (outside the files folder, not writable or in progress): ") +
             serverPath.left(200));
        s.queueText(CommandText(Cmd::StartReciveFileError));
        return;
    }
    s.acceptUpload(std::move(upload));
    s.queueText(CommandText(Cmd::StartReciveFile));
}

void Commands::refuse(ClientSession& s, const QString& table, const QString& why) {
    log_(lit("edit refused (%1): %2").arg(table.left(64), why));
    s.queueText(CommandHead(Cmd::NetErrorDataDatabase) + lit(",\"nametable\":\"") +
                StrToJSONStr(table.left(64)) + lit("\",\"error\":\"") + StrToJSONStr(why) + lit("\"}"));
}

void Commands::distribute(const TableData& table, const QByteArray& message) {
    const QByteArray text = RefreshDataBytes(message, kMaxRecordText);
    eachSession_([&](ClientSession& other) {
        if (other.loadedTables.contains(table.def().name)) {
            other.queueRecord(message, text);
        }
    });
}

void Commands::distributeApplied() {
    for (const Storage::Applied& a : storage_.takeApplied()) {
        distribute(*a.table, RecordUpdateMessage(*a.table, a.row));
        if (a.deleted) {
            // The flags travel with the whole record first, so the client's copy matches ours.
            distribute(*a.table, RecordDeletedMessage(*a.table, a.table->nAbsAt(a.row)));
        }
    }
}

bool Commands::beginChange(ClientSession& s, const QString& table, const TableData* adding,
                           const QString& mark) {
    if (storage_.beginChange(adding, mark)) {
        return true;
    }
    distributeApplied();
    refuse(s, table, storage_.lastError());
    return false;
}

void Commands::abandonChange(ClientSession& s, const QString& table, const QString& why) {
    storage_.abandonChange();
    distributeApplied();
    refuse(s, table, why);
}

bool Commands::store(ClientSession& s, TableData& table, int32_t row, bool deleted,
                     const TableData::Savepoint& before, const std::vector<std::pair<int, uint32_t>>& entries,
                     const QString& mark) {
    const bool stored = storage_.commitChange(table, row, deleted, entries, mark);
    if (!stored) {
        table.rollBack(before);
    }
    distributeApplied();
    if (!stored && !storage_.raced()) {
        refuse(s, table.def().name, storage_.lastError());
    }
    return stored;
}

void Commands::edit(ClientSession& s, const QString& text, const QString& command) {
    // The second attempt begins under the database's lock and cannot lose a race.
    if (!tryEdit(s, text, command)) {
        tryEdit(s, text, command);
    }
}

bool Commands::tryEdit(ClientSession& s, const QString& text, const QString& command) {
    const QString head = TableCommandHead(text);
    const QString name = GetJSONValue(head, lit("nametable"));
    TableData* table = storage_.table(name);
    if (!table) {
        refuse(s, name, lit("unknown table"));
        return true;
    }
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<std::pair<int, FieldValue>> values;
    if (command != TableCmd::NetDeleteDataDatabase && !readFields(s, *table, text, values)) {
        return true;
    }
    const bool adding = command == TableCmd::NetAddDataDatabase;
    const QString mark = adding ? GetJSONValue(head, kAdditionMarkKey).left(kMaxMarkLength + 1) : QString();
    if (mark.size() > kMaxMarkLength) {
        log_(lit("addition mark ignored, too long: ") + mark.left(kMaxMarkLength));
    }
    const QString kept = mark.size() > kMaxMarkLength ? QString() : mark;
    // The record is looked up once the changes of other servers are in.
    if (!beginChange(s, name, adding ? table : nullptr, kept)) {
        return true;
    }
    if (const int32_t stored = kept.isEmpty() ? 0 : storage_.addedBefore(kept, name); stored != 0) {
        // Sent again after a lost answer: the addition is answered, not made twice.
        storage_.abandonChange();
        distributeApplied();
        log_(lit("addition %1 to %2 was stored before as %3").arg(kept, name).arg(stored));
        s.queueText(CommandHead(Cmd::NetYesAddDataDatabase) + lit(",\"nametable\":\"") + name +
                    lit("\",\"n_abs\":") + QString::number(stored) + u'}');
        return true;
    }
    int32_t row = -1;
    if (command != TableCmd::NetAddDataDatabase) {
        bool ok = false;
        const int32_t nAbs = GetJSONValue(head, lit("n_abs")).toInt(&ok);
        row = ok ? table->rowOf(nAbs) : -1;
        if (row < 0 || table->isDeleted(row)) {
            // Begun at once, on the records as this server holds them: another server may have just
            // added it. Looked for again under the lock.
            if (storage_.changeUnchecked()) {
                storage_.retryChange();
                return false;
            }
            abandonChange(s, name, lit("no record ") + GetJSONValue(head, lit("n_abs")).left(20));
            return true;
        }
    }
    if (command == TableCmd::NetDeleteDataDatabase) {
        const TableData::Savepoint before = table->savepoint(row);
        table->setInt(row, 1, table->intAt(row, 1) | 1);
        table->stamp(row, s.userId, now);
        return store(s, *table, row, true, before, {}) || !storage_.raced();
    }

    const TableData::Savepoint before = row < 0 ? table->savepointBeforeAppend() : table->savepoint(row);
    if (row < 0) {
        const int32_t id = storage_.nextId(*table);
        if (id == 0) {
            abandonChange(s, name, storage_.lastError());
            return true;
        }
        row = table->appendRecordWithId(id);
    }
    // Dictionary entries the change adds or renames: they are stored with the record.
    std::vector<std::pair<int, uint32_t>> entries;
    for (auto& [col, v] : values) {
        const ColumnDef& column = table->def().columns[size_t(col)];
        const uint8_t code = column.code;
        if (col == 1) {
            // The deleted bit belongs to the delete command.
            table->setInt(row, col, (v.integer & ~int64_t(1)) | (table->intAt(row, col) & 1));
        } else if (IsRealCode(code)) {
            table->setReal(row, col, v.real);
        } else if (IsTextCode(code) || code == FieldCode::ByteArray) {
            table->setBytes(row, col, v.bytes);
        } else if (FieldIsDictionary(code)) {
            const bool fits =
                v.hasKey ? v.bytes.isEmpty() || table->putDictionaryEntry(col, uint32_t(v.integer), v.bytes,
                                                                          limits_.maxDictionaryEntries)
                         : table->setDictionaryText(row, col, v.bytes, limits_.maxDictionaryEntries);
            if (!fits) {
                table->rollBack(before);
                abandonChange(s, name, lit("the dictionary of %1 is full").arg(column.name));
                return true;
            }
            if (v.hasKey) {
                table->setInt(row, col, v.integer);
            }
            if (!v.bytes.isEmpty()) {
                entries.emplace_back(col, uint32_t(table->intAt(row, col)));
            }
        } else {
            table->setInt(row, col, v.integer);
        }
    }
    table->stamp(row, s.userId, now);
    if (!store(s, *table, row, false, before, entries, kept)) {
        return !storage_.raced();
    }
    if (command == TableCmd::NetEditDataDatabase && !confirmEdits_) {
        return true;
    }
    s.queueText(CommandHead(Cmd::NetYesAddDataDatabase) + lit(",\"nametable\":\"") + name +
                lit("\",\"n_abs\":") + QString::number(table->nAbsAt(row)) + u'}');
    return true;
}

bool Commands::readFields(ClientSession& s, const TableData& table, const QString& text,
                          std::vector<std::pair<int, FieldValue>>& values) {
    const QString& name = table.def().name;
    std::vector<RawField> raw;
    const QString fields = GetJSONValue(text, lit("fields"));
    // An empty value is either "fields":{} or an object that never closes.
    const bool present = !fields.isEmpty() || text.contains(lit("\"fields\":{}"));
    if (!present || !SplitFields(fields, raw)) {
        refuse(s, name, lit("malformed fields"));
        return false;
    }
    for (const RawField& f : raw) {
        const int col = table.def().indexOf(f.name);
        if (col < 0) {
            refuse(s, name, lit("unknown column ") + f.name.left(20));
            return false;
        }
        if (serverKept(f.name)) {
            continue;
        }
        FieldValue v;
        QString error;
        if (!ConvertField(table.def().columns[size_t(col)], f.value, v, error)) {
            refuse(s, name, error);
            return false;
        }
        values.emplace_back(col, std::move(v));
    }
    return true;
}
