#include "cmd_pbx.h"

#include "CallRecords.h"
#include "Pace.h"
#include "PbxSender.h"
#include "cli_args.h"
#include "cli_options.h"
#include "config_page.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <array>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quillon::cli {

namespace {

// Set by the SIGINT/SIGTERM handler, read by the sending loop. A sig_atomic_t written by a
// handler and read by the interrupted program needs no lock.
volatile std::sig_atomic_t g_stop_requested = 0;

constexpr std::array<int32_t, 10> kBaudRates = {300,  600,   1200,  2400,  4800,
                                                9600, 19200, 38400, 57600, 115200};
// A records file is read whole; anything larger is surely not a file of call records.
constexpr qint64 kMaxRecordsFileBytes = 64LL * 1024 * 1024;
constexpr int32_t kMaxGapMs = 3600000;
// How often the wait between two lines looks at the stop flag and lets the port work.
constexpr int kWaitSliceMs = 20;

CommandSpec build_pbx_command() {
    return CommandSpec{
        "pbx",
        "pbx PORT [--baud N] [--databits 7|8] [--parity none|odd|even|mark|space] "
        "[--stopbits 1|2] [--handshake none|rts-cts|xon-xoff] [--pace random|1|10|MS] "
        "[--count N] [--records FILE]",
        "Emulate a PBX: send call records to a local serial port.",
        {
            {"baud", "N",
             "baud rate: 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 "
             "(default 9600)"},
            {"databits", "7|8", "data bits (default 8)"},
            {"parity", "P", "parity: none, odd, even, mark or space (default none)"},
            {"stopbits", "1|2", "stop bits (default 1)"},
            {"handshake", "H",
             "flow control: none, rts-cts (hardware) or xon-xoff (software); default none"},
            {"pace", "P",
             "gap between lines: random (1 to 9999 ms, drawn afresh each time; the default), 1 "
             "(one second), 10 (ten seconds), or any other number of milliseconds up to "
             "3600000"},
            {"count", "N", "stop after N lines (default: run until Ctrl-C or SIGTERM)"},
            {"records", "FILE",
             "send the lines of FILE instead of the built-in sample call records (lines end at "
             "CR LF, CR or LF; each is sent as it stands)"},
        },
        "PORT is a serial port's name or device path (/dev/ttyUSB0, COM3), used as given. Sends "
        "the records one per step, each behind its 22-character stamp (dd/mm/yy, three blanks, "
        "hh:nn:ss, three blanks) and ended by CR LF, as the desktop page's PBX emulation does; "
        "the first line goes at once, and the first record follows the last again. Prints each "
        "line as it is sent and, at the end, \"Sent: N bytes\": the bytes the port took. A "
        "line held back by flow control waits at most 3 seconds. Exit status 1, with \"Serial "
        "Port: Open failed\" and the reason, when the port cannot be opened."};
}

// A text reduced to what identifies a choice among several spellings: lower case, with "/" and
// blanks as "-" ("RTS/CTS" and "rts-cts" both give "rts-cts").
std::string slug(const QString &text) {
    std::string result;
    for (const char c : text.toStdString()) {
        if (c == '/' || c == ' ')
            result += '-';
        else
            result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

// The index of `text` among `choices` (given in their slug form); UsageError otherwise.
int choice_of(const QString &text, const std::vector<std::string> &choices,
              const std::string &option) {
    const auto found = std::find(choices.begin(), choices.end(), slug(text));
    if (found != choices.end())
        return static_cast<int>(found - choices.begin());
    std::string allowed;
    for (const std::string &choice : choices)
        allowed += (allowed.empty() ? "" : ", ") + choice;
    throw UsageError("--" + option + ": '" + text.toStdString() + "' is not one of " + allowed);
}

int baud_item(const QString &text) {
    const std::string value = text.toStdString();
    const auto rate = parse_int(value);
    const auto found =
        rate ? std::find(kBaudRates.begin(), kBaudRates.end(), *rate) : kBaudRates.end();
    if (found == kBaudRates.end())
        throw UsageError("--baud: '" + value +
                         "' is not one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, "
                         "57600, 115200");
    return static_cast<int>(found - kBaudRates.begin());
}

std::optional<int32_t> gap_of(const QString &text) {
    if (slug(text) == "random")
        return std::nullopt;
    const int32_t value = parse_number(text.toStdString(), 1, kMaxGapMs, "--pace");
    // The page's two fixed choices go by their names; any other number is milliseconds.
    if (value == 1)
        return 1000;
    if (value == 10)
        return 10000;
    return value;
}

QStringList records_from(const QString &path) {
    const std::string shown = "--records: '" + path.toStdString() + "'";
    const QFileInfo info(path);
    if (!info.exists())
        throw UsageError(shown + " does not exist");
    // A device or pipe could be read for ever; call records come in a plain file.
    if (!info.isFile())
        throw UsageError(shown + " is not a plain file");
    if (info.size() > kMaxRecordsFileBytes)
        throw UsageError(shown + " is larger than 64 MiB");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw UsageError(shown + " cannot be read: " + file.errorString().toStdString());
    const QStringList lines = pbx::splitRecordLines(file.read(kMaxRecordsFileBytes));
    if (lines.isEmpty())
        throw UsageError(shown + " holds no lines");
    return lines;
}

// Makes SIGINT and SIGTERM ask the sending loop to stop, for as long as it lives.
class StopOnSignals {
public:
    StopOnSignals() {
        g_stop_requested = 0;
        m_int = std::signal(SIGINT, &StopOnSignals::handle);
        m_term = std::signal(SIGTERM, &StopOnSignals::handle);
    }
    ~StopOnSignals() {
        std::signal(SIGINT, m_int == SIG_ERR ? SIG_DFL : m_int);
        std::signal(SIGTERM, m_term == SIG_ERR ? SIG_DFL : m_term);
    }
    StopOnSignals(const StopOnSignals &) = delete;
    StopOnSignals &operator=(const StopOnSignals &) = delete;

    static bool requested() { return g_stop_requested != 0; }

private:
    static void handle(int) { g_stop_requested = 1; }

    using Handler = void (*)(int);
    Handler m_int = SIG_DFL;
    Handler m_term = SIG_DFL;
};

// Waits `ms` milliseconds, or less when a stop is asked for. The port goes on writing what flow
// control held back, through the application's events.
void wait_gap(int32_t ms) {
    const QDeadlineTimer deadline(ms);
    while (!StopOnSignals::requested() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        const qint64 left = std::clamp<qint64>(deadline.remainingTime(), 0, kWaitSliceMs);
        QThread::msleep(static_cast<unsigned long>(left));
    }
}

void print_line(const QString &text) {
    // The records are carried byte for byte as Latin-1, so this prints the bytes that were sent.
    const QByteArray bytes = text.toLatin1() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int run_emulation(const PbxRequest &request) {
    if (request.records.isEmpty()) {
        std::fputs("quillon: pbx failed: the built-in call records could not be loaded\n", stderr);
        return kExitFailed;
    }
    pbx::PbxSender sender(request.records);
    if (!sender.start(request.port, request.settings)) {
        std::fprintf(stderr, "quillon: pbx: %s: %s: %s\n", qPrintable(request.port),
                     qPrintable(sender.statusText()), qPrintable(sender.errorString()));
        if (!sender.hint().isEmpty())
            std::fprintf(stderr, "quillon: pbx: %s\n", qPrintable(sender.hint()));
        return kExitFailed;
    }

    const StopOnSignals stop_on_signals;
    const auto draw = [] { return static_cast<int>(QRandomGenerator::global()->bounded(32768U)); };
    int32_t lines = 0;
    while (!StopOnSignals::requested()) {
        if (const std::optional<QString> text = sender.sendNext()) {
            print_line(*text);
            ++lines;
        }
        if (request.count && lines >= *request.count)
            break;
        wait_gap(request.gap_ms ? *request.gap_ms : pbx::paceInterval(pbx::kPaceRandom, draw));
    }
    sender.stop();
    std::printf("%s\n", qPrintable(sender.sentText()));
    std::fflush(stdout);
    return kExitOk;
}

} // namespace

const CommandSpec &pbx_command() {
    static const CommandSpec command = build_pbx_command();
    return command;
}

PbxRequest parse_pbx(const QStringList &args) {
    QCommandLineParser parser;
    for (const OptionSpec &option : pbx_command().options) {
        QCommandLineOption qt_option(QString::fromStdString(option.name),
                                     QString::fromStdString(option.help));
        qt_option.setValueName(QString::fromStdString(option.value));
        parser.addOption(qt_option);
    }
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}, "show this help"));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(QStringList{QStringLiteral("quillon")} + args))
        throw UsageError(parser.errorText().toStdString());
    if (parser.isSet(QStringLiteral("help")))
        throw HelpRequested{};

    // Every option takes one value, given once.
    const auto single = [&parser](const char *name) -> std::optional<QString> {
        const QStringList values = parser.values(QLatin1String(name));
        if (values.size() > 1)
            throw UsageError(std::string("--") + name + " is given more than once");
        return values.isEmpty() ? std::nullopt : std::optional<QString>(values.first());
    };

    PbxRequest request;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || positional.front().isEmpty())
        throw UsageError("pbx takes one port: its name or device path (e.g. /dev/ttyUSB0)");
    request.port = positional.front();

    pbx::SerialSettings &settings = request.settings;
    if (const auto baud = single("baud"))
        settings.speed = baud_item(*baud);
    if (const auto bits = single("databits"))
        settings.databits = choice_of(*bits, {"7", "8"}, "databits");
    if (const auto parity = single("parity"))
        settings.parity = choice_of(*parity, {"none", "odd", "even", "mark", "space"}, "parity");
    if (const auto bits = single("stopbits"))
        settings.stopbits = choice_of(*bits, {"1", "2"}, "stopbits");
    if (const auto handshake = single("handshake"))
        settings.handshake = choice_of(*handshake, {"none", "rts-cts", "xon-xoff"}, "handshake");
    if (const auto pace = single("pace"))
        request.gap_ms = gap_of(*pace);
    if (const auto count = single("count"))
        request.count = parse_number(count->toStdString(), 1, INT32_MAX, "--count");
    if (const auto file = single("records")) {
        request.records_file = *file;
        request.records = records_from(*file);
    } else {
        request.records = pbx::loadCallRecords();
    }
    return request;
}

int run_pbx_command(const QStringList &args) {
    // The command answers its own help and usage errors, so it needs nothing from the
    // dispatcher but the call.
    PbxRequest request;
    try {
        request = parse_pbx(args);
    } catch (const HelpRequested &) {
        std::fputs(command_help(pbx_command()).c_str(), stdout);
        return kExitOk;
    } catch (const UsageError &error) {
        std::fprintf(stderr, "quillon: %s\n%s\n", error.what(), usage_hint("pbx").c_str());
        return kExitUsage;
    }
    return run_emulation(request);
}

} // namespace quillon::cli
