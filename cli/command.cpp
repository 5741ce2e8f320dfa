#include "command.h"

#include "cli/cli_session.h"

int CommandContext::NotLoadedAgain(const QString& table) const {
    return session.NotConfirmed(
        QStringLiteral("table %1 was not loaded again within %2 seconds").arg(table).arg(timeoutSeconds));
}

std::unique_ptr<Command> MakeCommand(const QString& name) {
    if (name == QStringLiteral("load")) {
        return MakeLoadCommand();
    }
    if (name == QStringLiteral("dump")) {
        return MakeDumpCommand();
    }
    if (name == QStringLiteral("add")) {
        return MakeAddCommand();
    }
    if (name == QStringLiteral("edit")) {
        return MakeEditCommand();
    }
    if (name == QStringLiteral("delete")) {
        return MakeDeleteCommand();
    }
    if (name == QStringLiteral("get-file")) {
        return MakeGetFileCommand();
    }
    if (name == QStringLiteral("put-file")) {
        return MakePutFileCommand();
    }
    if (name == QStringLiteral("watch")) {
        return MakeWatchCommand();
    }
    if (name == QStringLiteral("import")) {
        return MakeImportCommand();
    }
    if (name == QStringLiteral("export")) {
        return MakeExportCommand();
    }
    return nullptr;
}
