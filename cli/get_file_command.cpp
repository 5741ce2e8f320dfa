// get-file SERVERPATH NAME: ask the server for a file; the session client stores it as temp/NAME
// and announces it with "getfileok".
#include <QFileInfo>

#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "infra/file_names.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"

namespace {

class GetFileCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.size() != 2) {
            return QStringLiteral("get-file needs a server path and a local file name");
        }
        serverPath_ = words[0];
        name_ = words[1];
        // The name becomes a file in temp/, so it must not lead anywhere else.
        if (!IsPlainFileName(name_)) {
            return QStringLiteral("\"%1\" is not a plain file name").arg(name_);
        }
        return {};
    }

    int Run(CommandContext& context) override {
        bool received = false;
        bool missing = false;
        context.session.SetNoticeHandler([&](const QString& notice) {
            const QString command = CommandOf(notice);
            if (command == Cmd::GetFileOk && GetJSONValue(notice, QStringLiteral("name")) == name_) {
                received = true;
            } else if (command == Cmd::SendFileNotFind) {
                missing = true;
            }
        });
        context.session.PutCommand(GetFileRequest(serverPath_).Name(name_).Text());
        context.session.WaitUntil(context.deadline, [&] { return received || missing; });
        if (missing) {
            return context.session.NotConfirmed(QStringLiteral("the server has no file %1").arg(serverPath_));
        }
        if (!received) {
            return context.session.NotConfirmed(QStringLiteral("the file %1 did not arrive within %2 seconds")
                                                    .arg(serverPath_)
                                                    .arg(context.timeoutSeconds));
        }
        const QString local = QStringLiteral("temp/") + name_;
        context.output.Line(
            QStringLiteral("\"file\":%1,\"size\":%2").arg(JsonString(local)).arg(QFileInfo(local).size()));
        return kExitDone;
    }

  private:
    QString serverPath_;
    QString name_;
};

}  // namespace

std::unique_ptr<Command> MakeGetFileCommand() {
    return std::make_unique<GetFileCommand>();
}
