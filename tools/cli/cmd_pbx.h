// quillon pbx: the PBX emulation of the desktop page without a window. It writes the sample call
// records (or the lines of a file), each behind the date-and-time stamp, to a local serial port
// at a chosen pace, so that a Quillon wired to the port by a null-modem cable can be tried out.
#ifndef QUILLON_CLI_CMD_PBX_H
#define QUILLON_CLI_CMD_PBX_H

#include "SerialSettings.h"
#include "cli_help.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace quillon::cli {

// A checked `quillon pbx` command line.
struct PbxRequest {
    QString port;                                // a port name or device path, as given
    pbx::SerialSettings settings{5, 1, 0, 0, 0}; // the page's items; 9600 8N1, no handshake
    std::optional<int32_t> gap_ms;               // a fixed gap between lines; none: random
    std::optional<int32_t> count;                // lines to send; none: until stopped
    std::optional<QString> records_file;         // the file the records came from
    QStringList records;                         // the lines to send, never empty
};

// The command's entry in the help: name, synopsis, options and what it does.
const CommandSpec &pbx_command();

// Parses the arguments after "pbx" into a request. Throws UsageError for bad usage or a records
// file that cannot be used, HelpRequested for --help.
PbxRequest parse_pbx(const QStringList &args);

// Runs `quillon pbx` with the arguments after the command's name: prints each line as it is
// sent, stops after --count lines or on SIGINT/SIGTERM (a clean stop), then prints the byte
// count ("Sent: N bytes"). Returns kExitOk; kExitFailed when the port cannot be opened (the
// panel text "Serial Port: Open failed", the system's reason and, for a permission problem, how
// to get access, on standard error); kExitUsage for bad usage (one line on standard error). Help
// (--help) goes to standard output with kExitOk. Needs a QCoreApplication; runs on its thread.
int run_pbx_command(const QStringList &args);

} // namespace quillon::cli

#endif
