// What failed in a command, as the one line on standard error and the "error" object of the
// JSON output: the step, the library's message and its code.
#ifndef QUILLON_CLI_FAILURE_H
#define QUILLON_CLI_FAILURE_H

#include "kv_error.h"

#include <cstdint>
#include <string>

namespace quillon::cli {

struct Failure {
    std::string step;    // "open", "connect", "authorization", "read", "write", "search", ...
    std::string message; // the library's message
    int32_t code = 0;    // the library's code (the configuration library's error code, or the
                         // runtime's error number for the discovery library, which has none)
    std::string detail;  // the runtime's text for that number, when there is one

    // "read failed: Timeout (19)", with ": detail" when there is a detail.
    std::string line() const {
        std::string text = step + " failed: " + message + " (" + std::to_string(code) + ")";
        if (!detail.empty())
            text += ": " + detail;
        return text;
    }

    // From the configuration library's error record: its message and code.
    static Failure from_conf(const std::string &step, const kv_error_struct &error) {
        return Failure{step, error.err_code_str, error.err_code, {}};
    }

    // From the discovery library's error record: its message, the runtime's number and text.
    static Failure from_discovery(const std::string &step, const kv_error_struct &error) {
        return Failure{step, error.err_code_str, error.err_no, error.err_no_str};
    }
};

} // namespace quillon::cli

#endif
