// The quillon commands. Each takes its arguments after the command's name, prints its results
// on standard output and its failures on standard error, and returns the exit status.
#ifndef QUILLON_CLI_COMMANDS_H
#define QUILLON_CLI_COMMANDS_H

#include <QStringList>

namespace quillon::cli {

int run_read(const QStringList &args);
int run_write(const QStringList &args);
int run_search(const QStringList &args);
int run_fix(const QStringList &args);
int run_setup(const QStringList &args);

} // namespace quillon::cli

#endif
