#include "infra/session_texts.h"

#include <QUuid>

#include "infra/json_text.h"

namespace {

const QString kCommandKey = QStringLiteral("$c$");

QString Pair(const char* key, const QString& value) {
    return QStringLiteral(",\"") + QLatin1StringView(key) + QStringLiteral("\":\"") + StrToJSONStr(value) +
           u'"';
}

}  // namespace

QString CommandOf(const QString& text) {
    return GetJSONValue(text, kCommandKey);
}

QString CommandText(QLatin1StringView word) {
    return CommandHead(word) + u'}';
}

QString CommandHead(QLatin1StringView word) {
    return QStringLiteral("{\"$c$\":\"") + word + u'"';
}

QString DatabaseCommandHead(QLatin1StringView command) {
    return CommandHead(Cmd::Database) + QStringLiteral(",\"command\":\"") + command + u'"';
}

QString TableCommandHead(const QString& command) {
    const qsizetype fields = command.indexOf(QLatin1StringView("\"fields\""));
    return fields < 0 ? command : command.left(fields);
}

QString WithAdditionMark(const QString& command) {
    const QString head = TableCommandHead(command);
    if (head.size() == command.size() || CommandOf(command) != Cmd::Database ||
        GetJSONValue(head, QStringLiteral("command")) != TableCmd::NetAddDataDatabase ||
        !GetJSONValue(head, kAdditionMarkKey).isEmpty()) {
        return command;
    }
    return head + u'"' + kAdditionMarkKey + QStringLiteral("\":\"") +
           QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral("\",") +
           command.mid(head.size());
}

QString SessionFilePath(const QString& tid, const QString& name) {
    return QStringLiteral("client9\\") + tid + u'\\' + name;
}

QString GetFileRequest::Text() const {
    QString text = CommandHead(Cmd::GetFile) + Pair("nameinserv", nameInServ_);
    if (tid_) {
        text += Pair("tid", *tid_);
    }
    if (name_) {
        text += Pair("name", *name_);
    }
    if (delete_) {
        text += QStringLiteral(",\"delete\":1");
    }
    return text + u'}';
}

QString PutFileText(const QString& nameInServ, const QString& name) {
    return CommandHead(Cmd::PutFile) + Pair("nameinserv", nameInServ) + Pair("name", name) + u'}';
}
