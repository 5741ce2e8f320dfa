// load: the session start itself is the whole work; its loaded-table lines are the output.
#include "cli/command.h"
#include "cli/exit_codes.h"

namespace {

class LoadCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        return words.isEmpty() ? QString() : QStringLiteral("load takes no arguments");
    }
    int Run(CommandContext&) override { return kExitDone; }
};

}  // namespace

std::unique_ptr<Command> MakeLoadCommand() {
    return std::make_unique<LoadCommand>();
}
