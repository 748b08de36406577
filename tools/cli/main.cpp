// quillon: the command-line configurator. Picks the command, runs it and turns a usage error
// into its message and exit status 2.
#include "cli_commands.h"
#include "cli_help.h"
#include "cli_options.h"
#include "cmd_pbx.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>

using namespace quillon::cli;

namespace {

using Runner = int (*)(const QStringList &);

struct Entry {
    const char *name;
    Runner run;
};

constexpr Entry kRunners[] = {
    {"search", run_search}, {"read", run_read},   {"write", run_write},
    {"fix", run_fix},       {"setup", run_setup}, {"pbx", run_pbx_command},
};

int usage_error(const std::string &message, const std::string &command) {
    std::fprintf(stderr, "quillon: %s\n%s\n", message.c_str(), usage_hint(command).c_str());
    return kExitUsage;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));

    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2)
        return usage_error("no command given", "");
    const std::string command = args.at(1).toStdString();
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(overall_help().c_str(), stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::fputs(version_text().c_str(), stdout);
        return kExitOk;
    }
    for (const Entry &entry : kRunners) {
        if (command != entry.name)
            continue;
        try {
            return entry.run(args.mid(2));
        } catch (const HelpRequested &) {
            std::fputs(command_help(*find_command(command)).c_str(), stdout);
            return kExitOk;
        } catch (const UsageError &error) {
            return usage_error(error.what(), command);
        } catch (const std::exception &error) {
            std::fprintf(stderr, "quillon: %s failed: %s\n", command.c_str(), error.what());
            return kExitFailed;
        }
    }
    return usage_error("unknown command '" + command + "'", "");
}
