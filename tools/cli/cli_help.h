// The commands of the quillon program, their options and their help texts. One table feeds both
// the argument parser and the help, so the help cannot document an option the parser lacks.
#ifndef QUILLON_CLI_HELP_H
#define QUILLON_CLI_HELP_H

#include <string>
#include <vector>

namespace quillon::cli {

// One option of a command: its long name (without "--"), the name of its value (empty for a
// switch) and its help line.
struct OptionSpec {
    std::string name;
    std::string value;
    std::string help;
};

// One command: its name, its synopsis after "quillon", a one-line summary, its options and a
// paragraph on what it does and prints.
struct CommandSpec {
    std::string name;
    std::string synopsis;
    std::string summary;
    std::vector<OptionSpec> options;
    std::string details;
};

// Every command, in the order the overall help lists them.
const std::vector<CommandSpec> &commands();

// The command named `name`, or null.
const CommandSpec *find_command(const std::string &name);

// The help of one command (quillon COMMAND --help).
std::string command_help(const CommandSpec &command);

// The whole help (quillon --help): every command with every option, the exit statuses and the
// JSON forms.
std::string overall_help();

// The short reminder shown with a usage error.
std::string usage_hint(const std::string &command);

// The version line (quillon --version).
std::string version_text();

} // namespace quillon::cli

#endif
