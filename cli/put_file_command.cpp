// put-file LOCALPATH SERVERPATH: hand the file to the session client's file queue; done when the
// client reports "sendfileok" for it.
#include <QFileInfo>

#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"

namespace {

class PutFileCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.size() != 2) {
            return QStringLiteral("put-file needs a local path and a server path");
        }
        local_ = words[0];
        serverPath_ = words[1];
        const QFileInfo info(local_);
        if (!info.isFile() || !info.isReadable()) {
            return QStringLiteral("cannot read the file %1").arg(local_);
        }
        local_ = info.absoluteFilePath();
        return {};
    }

    int Run(CommandContext& context) override {
        std::optional<qint64> size;
        QString givenUp;
        context.session.SetNoticeHandler([&](const QString& notice) {
            if (GetJSONValue(notice, QStringLiteral("nameinserv")) != serverPath_) {
                return;
            }
            if (CommandOf(notice) == Cmd::SendFileOk) {
                size = GetJSONValue(notice, QStringLiteral("size")).toLongLong();
            } else if (CommandOf(notice) == Cmd::SendFileError) {
                givenUp = GetJSONValue(notice, QStringLiteral("reason"));
            }
        });
        if (!context.session.PutFile(PutFileText(serverPath_, local_))) {
            return context.session.NotConfirmed(QStringLiteral("the file queue is full"));
        }
        if (!context.session.WaitUntil(context.deadline,
                                       [&] { return size.has_value() || !givenUp.isEmpty(); })) {
            return context.session.NotConfirmed(
                QStringLiteral("the server did not take the file %1 within %2 seconds")
                    .arg(serverPath_)
                    .arg(context.timeoutSeconds));
        }
        if (!givenUp.isEmpty()) {
            return context.session.NotConfirmed(
                QStringLiteral("the file %1 was not sent: %2").arg(serverPath_, givenUp));
        }
        context.output.Line(
            QStringLiteral("\"sent\":%1,\"size\":%2").arg(JsonString(serverPath_)).arg(*size));
        return kExitDone;
    }

  private:
    QString local_;
    QString serverPath_;
};

}  // namespace

std::unique_ptr<Command> MakePutFileCommand() {
    return std::make_unique<PutFileCommand>();
}
