// The command line of quillon-sim, parsed and checked into the fleet it runs.
#ifndef QUILLON_SIM_PROGRAM_OPTIONS_H
#define QUILLON_SIM_PROGRAM_OPTIONS_H

#include "sim_fleet.h"

#include <QStringList>

#include <stdexcept>
#include <string>
#include <vector>

namespace quillon::simprog {

// Bad usage: what() is the message shown before exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line asked for the help or the version; text() is what to print.
struct InfoRequested {
    std::string text;
};

struct Program {
    sim::FleetOptions fleet;
    std::vector<sim::FleetDeviceOptions> devices;
};

// Parses the whole command line (the program's name first). Throws UsageError or
// InfoRequested.
Program parse_program(const QStringList &args);

// The help text of quillon-sim.
std::string program_help();

} // namespace quillon::simprog

#endif
