// The words of the session's JSON texts, spelled once: the command word under "$c$" of every
// command, answer and notice that the client, the stand-in server, the desktop tool and the
// command-line client exchange, the table commands' words under "command", the server path of a
// session's own files, and the file requests. Texts are built by concatenation and read with the
// helpers of json_text.h. Stateless; any thread.
#pragma once

#include <QLatin1StringView>
#include <QString>
#include <optional>

// "$c$" values.
namespace Cmd {
// Login and the link.
inline constexpr QLatin1StringView Reg{"reg"};
inline constexpr QLatin1StringView RegOk{"regok"};
inline constexpr QLatin1StringView AccessDenied{"accessdenied"};
inline constexpr QLatin1StringView Testex{"testex"};
inline constexpr QLatin1StringView CloseClient{"closeclient"};
inline constexpr QLatin1StringView RefreshTid{"refreshtid"};
// Tables: the load request and the edits ("command" below), the snapshot announcement, record
// changes and the answers to edits.
inline constexpr QLatin1StringView Database{"database"};
inline constexpr QLatin1StringView TableRawFromFile{"tablerawfromfile"};
inline constexpr QLatin1StringView TableData{"tabledata"};  // a table as a JSON text
inline constexpr QLatin1StringView RefreshDataDatabase{"refreshdatadatabase"};
inline constexpr QLatin1StringView NetYesAddDataDatabase{"netyesadddatadatabase"};
inline constexpr QLatin1StringView NetErrorDataDatabase{"neterrordatadatabase"};
// Files in both directions.
inline constexpr QLatin1StringView GetFile{"getfile"};
inline constexpr QLatin1StringView PutFile{"putfile"};
inline constexpr QLatin1StringView SendFile{"sendfile"};
inline constexpr QLatin1StringView SendFileNotFind{"sendfilenotfind"};
inline constexpr QLatin1StringView StartReciveFile{"startrecivefile"};
inline constexpr QLatin1StringView StartReciveFileError{"startrecivefileerror"};
inline constexpr QLatin1StringView StartReciveFileError2{"startrecivefileerror2"};
inline constexpr QLatin1StringView FileToServer{"filetoserver"};
inline constexpr QLatin1StringView FileToServerOk{"filetoserverok"};
inline constexpr QLatin1StringView GetArchiveOk{"getarchiveok"};
inline constexpr QLatin1StringView HistoryFromFile{"historyfromfile"};
inline constexpr QLatin1StringView GetFileClient{"getfileclient"};
// Server texts this tool passes on or leaves alone.
inline constexpr QLatin1StringView QueueZag{"queuezag"};
inline constexpr QLatin1StringView MobilTech{"mobiltech"};
inline constexpr QLatin1StringView NewLk{"newlk"};
// Notices of the session client to its owner (the main window, the command-line client).
inline constexpr QLatin1StringView Connected{"connected"};
inline constexpr QLatin1StringView Disconnected{"disconnected"};
inline constexpr QLatin1StringView TableLoad{"tableload"};
// A received table file that could not be loaded: "name", "size"; the table is asked for again.
inline constexpr QLatin1StringView TableLoadError{"tableloaderror"};
inline constexpr QLatin1StringView GetFileOk{"getfileok"};
inline constexpr QLatin1StringView SendFileOk{"sendfileok"};
// An upload given up: "name", "nameinserv" and "reason" ("refused" by the server, "unreadable"
// here, "too long" for one datagram).
inline constexpr QLatin1StringView SendFileError{"sendfileerror"};
inline constexpr QLatin1StringView ArchiveLoad{"archiveload"};
inline constexpr QLatin1StringView ToSoob{"tosoob"};
}  // namespace Cmd

// "command" values of the "database" commands.
namespace TableCmd {
inline constexpr QLatin1StringView GetTableRaw{"gettableraw"};
inline constexpr QLatin1StringView NetAddDataDatabase{"netadddatadatabase"};
inline constexpr QLatin1StringView NetEditDataDatabase{"neteditdatadatabase"};
inline constexpr QLatin1StringView NetDeleteDataDatabase{"netdeletedatadatabase"};
}  // namespace TableCmd

// The key of an addition's mark: a GUID that names the addition, so that a server which stored it
// already answers a copy sent again (a replay after a lost session) with the record it stored
// instead of adding a second one. It stands before "fields", where no column's name can shadow it.
inline constexpr QLatin1StringView kAdditionMarkKey{"mark"};
// An addition ("netadddatadatabase" with "fields") without a mark gets a new one; anything else is
// returned as it is.
QString WithAdditionMark(const QString& command);
// The part of a table command before its "fields": its own keys, never a column's.
QString TableCommandHead(const QString& command);

// The command word of a text.
QString CommandOf(const QString& text);
// {"$c$":"<word>"}
QString CommandText(QLatin1StringView word);
// {"$c$":"<word>" without the closing brace: the caller adds its pairs and the brace.
QString CommandHead(QLatin1StringView word);
// {"$c$":"database","command":"<command>" without the closing brace.
QString DatabaseCommandHead(QLatin1StringView command);
// The server path of a file the server made for a session: client9\<tid>\<name>.
QString SessionFilePath(const QString& tid, const QString& name);

// A "getfile" request: {"$c$":"getfile","nameinserv":..[,"tid":..][,"name":..][,"delete":1]}, the
// parts given in that order; "delete" asks the server to remove its copy once it is sent.
// Usage: GetFileRequest(path).Name(name).DeleteAfter().Text()
class GetFileRequest {
  public:
    explicit GetFileRequest(QString nameInServ) : nameInServ_(std::move(nameInServ)) {}
    GetFileRequest& Tid(QString tid) {
        tid_ = std::move(tid);
        return *this;
    }
    GetFileRequest& Name(QString name) {
        name_ = std::move(name);
        return *this;
    }
    GetFileRequest& DeleteAfter() {
        delete_ = true;
        return *this;
    }
    QString Text() const;

  private:
    QString nameInServ_;
    std::optional<QString> tid_;
    std::optional<QString> name_;
    bool delete_ = false;
};
// A "putfile" entry for SoobFile: {"$c$":"putfile","nameinserv":..,"name":..}, name the local file.
QString PutFileText(const QString& nameInServ, const QString& name);
