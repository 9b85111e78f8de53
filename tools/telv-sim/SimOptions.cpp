#include "SimOptions.h"

#include "Sysutil.h"

#include <QCommandLineParser>
#include <QStringList>

#include <arpa/inet.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace telv::sim {
namespace {

template <class Int>
std::optional<Int> ParseInteger(std::string_view text, Int low, Int high) {
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<double> ParseNumber(std::string_view text, double low, double high) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value) || value < low ||
        value > high)
        return std::nullopt;
    return value;
}

bool ParseListen(std::string_view text, SimOptions& options) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::string address(text.substr(0, colon));
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
    const auto port = ParseInteger<std::uint16_t>(text.substr(colon + 1), 0, 65535);
    if (!port) return false;
    options.listenAddress = address;
    options.listenPort = *port;
    return true;
}

struct SimOption {
    std::string_view name;
    bool takesValue;
    // Applies the value; returns an error text, empty when accepted.
    std::function<std::string(std::string_view value, SimOptions&)> apply;

    QString Name() const { return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())); }
};

template <class Int>
std::function<std::string(std::string_view, SimOptions&)> IntegerInto(Int SimOptions::*field, Int low,
                                                                        Int high, const char* what,
                                                                        const char* note = "") {
    return [=](std::string_view value, SimOptions& o) -> std::string {
        const auto parsed = ParseInteger<Int>(value, low, high);
        if (!parsed)
            return Format("%s must be an integer from %llu to %llu%s, not \"%.*s\"", what,
                          static_cast<unsigned long long>(low), static_cast<unsigned long long>(high), note,
                          static_cast<int>(value.size()), value.data());
        o.*field = *parsed;
        return {};
    };
}

std::function<std::string(std::string_view, SimOptions&)> NumberInto(double SimOptions::*field, double low,
                                                                      double high, const char* what) {
    return [=](std::string_view value, SimOptions& o) -> std::string {
        const auto parsed = ParseNumber(value, low, high);
        if (!parsed)
            return Format("%s must be a number from %g to %g, not \"%.*s\"", what, low, high,
                          static_cast<int>(value.size()), value.data());
        o.*field = *parsed;
        return {};
    };
}

std::function<std::string(std::string_view, SimOptions&)> Flag(bool SimOptions::*field) {
    return [=](std::string_view, SimOptions& o) -> std::string {
        o.*field = true;
        return {};
    };
}

const std::vector<SimOption>& SimOptionTable() {
    static const std::vector<SimOption> table = {
        {"listen", true,
         [](std::string_view v, SimOptions& o) -> std::string {
             if (ParseListen(v, o)) return {};
             return Format("--listen needs ADDR:PORT with a dotted IPv4 address, not \"%.*s\"",
                           static_cast<int>(v.size()), v.data());
         }},
        {"devices", true, IntegerInto(&SimOptions::devices, 0u, kMaxRecordCount, "--devices",
                                           " (the most records one list message may carry)")},
        {"clients", true, IntegerInto(&SimOptions::clients, 0u, kMaxSimulatedClients, "--clients",
                                           " (the list limit less room for the consoles)")},
        {"churn", true, NumberInto(&SimOptions::churnPerSecond, 0, 1e6, "--churn")},
        {"notice-interval", true,
         NumberInto(&SimOptions::noticeIntervalSeconds, 0, 86400, "--notice-interval")},
        {"seed", true,
         IntegerInto(&SimOptions::seed, std::uint64_t{0}, std::numeric_limits<std::uint64_t>::max(), "--seed")},
        {"seconds", true, NumberInto(&SimOptions::runSeconds, 0, 1e9, "--seconds")},
        {"split", true, IntegerInto(&SimOptions::splitBytes, std::size_t{1}, std::size_t{1} << 20, "--split")},
        {"no-hello", false, Flag(&SimOptions::noHello)},
        {"no-ack", false, Flag(&SimOptions::noAck)},
        {"slow", true, IntegerInto(&SimOptions::slowMs, 0u, 600000u, "--slow")},
        {"garbage", false, Flag(&SimOptions::garbage)},
        {"over-limit", false, Flag(&SimOptions::overLimit)},
        {"close-mid-message", false, Flag(&SimOptions::closeMidMessage)},
        {"orphan-stats", false, Flag(&SimOptions::orphanStats)},
        {"flood", false, Flag(&SimOptions::flood)},
        {"hostile-texts", false, Flag(&SimOptions::hostileTexts)},
    };
    return table;
}

// What is wrong when the parser refused known options: a flag given a value, or an option
// that needs one given none at the end.
std::optional<std::string> ValueMistake(std::span<const std::string_view> args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') continue;
        arg.remove_prefix(arg.substr(0, 2) == "--" ? 2 : 1);
        const std::size_t eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        for (const SimOption& option : SimOptionTable()) {
            if (option.name != name) continue;
            if (!option.takesValue && eq != std::string_view::npos)
                return Format("--%.*s takes no value", static_cast<int>(name.size()), name.data());
            if (option.takesValue && eq == std::string_view::npos && i + 1 == args.size())
                return Format("--%.*s needs a value", static_cast<int>(name.size()), name.data());
        }
    }
    return std::nullopt;
}

}  // namespace

ParsedOptions ParseSimOptions(std::span<const std::string_view> args) {
    QCommandLineParser parser;
    // "-devices 5" reads as "--devices 5"; nothing is taken for a cluster of one-letter flags.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version(QStringList{"v", "version"});
    parser.addOptions({help, version});
    for (const SimOption& option : SimOptionTable()) {
        const QString name = option.Name();
        parser.addOption(option.takesValue ? QCommandLineOption(name, {}, "value") : QCommandLineOption(name));
    }
    QStringList arguments{"telv-sim"};
    for (const std::string_view arg : args)
        arguments << QString::fromUtf8(arg.data(), static_cast<qsizetype>(arg.size()));

    ParsedOptions result;
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {  // help wins over every mistake
        result.helpRequested = true;
        result.ok = true;
        return result;
    }
    if (!parsed) {
        const QStringList unknown = parser.unknownOptionNames();
        result.error = unknown.isEmpty() ? ValueMistake(args).value_or(parser.errorText().toStdString())
                                         : Format("unknown option %s%s", unknown.first().size() == 1 ? "-" : "--",
                                                  unknown.first().toUtf8().constData());
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = Format("unexpected argument \"%s\"", parser.positionalArguments().first().toUtf8().constData());
        return result;
    }
    if (parser.isSet(version)) {
        result.versionRequested = true;
        result.ok = true;
        return result;
    }
    // Every value is checked; the last one of an option given twice counts.
    for (const SimOption& option : SimOptionTable()) {
        const QString name = option.Name();
        if (!parser.isSet(name)) continue;
        const QStringList values = option.takesValue ? parser.values(name) : QStringList{QString()};
        for (const QString& value : values) {
            const std::string text = value.toStdString();
            if (std::string error = option.apply(text, result.options); !error.empty()) {
                result.error = std::move(error);
                return result;
            }
        }
    }
    result.ok = true;
    return result;
}

std::string SimUsage() {
    return Format(
        "usage: telv-sim [options]\n"
        "Plays a TELV server with a simulated population of devices and clients.\n"
        "\n"
        "  -h, --help               print this help and exit\n"
        "  -v, --version            print the version and exit\n"
        "  --listen ADDR:PORT       listening address (default 127.0.0.1:5100; port 0 = any)\n"
        "  --devices N              device channels, 0..%u (default 100)\n"
        "  --clients M              simulated clients besides the consoles, 0..%u (default 10)\n"
        "  --churn R                devices per second dropping, as many new ones connecting (default 0)\n"
        "  --notice-interval S      seconds between periodic text messages and notices, 0 = none (default 10)\n"
        "  --seed N                 seed of the population and of every random choice (default 1)\n"
        "  --seconds S              stop after S seconds (default: run until SIGINT/SIGTERM)\n"
        "\n"
        "fault modes:\n"
        "  --split K                send every write in pieces of K bytes, each flushed separately\n"
        "  --no-hello               never answer the version request\n"
        "  --no-ack                 never acknowledge the client version\n"
        "  --slow MS                delay each reply by MS milliseconds\n"
        "  --garbage                random bytes before the handshake replies and after some others\n"
        "  --over-limit             channel lists announce %u records (one above the limit)\n"
        "  --close-mid-message      cut the first list or statistics reply and close the connection\n"
        "  --orphan-stats           statistics records whose handles are in no list\n"
        "  --flood                  a stream of notices and text messages to every console\n"
        "  --hostile-texts          unterminated fields, control characters, invalid CP1251 bytes\n",
        kMaxRecordCount, kMaxSimulatedClients, kMaxRecordCount + 1);
}

}  // namespace telv::sim
