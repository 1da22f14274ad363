#include "cli/CommandLine.h"

#include "app/SettingsFile.h"
#include "app/StartUp.h"
#include "cli/Bench.h"
#include "cli/CommandLineDownload.h"
#include "cli/Console.h"
#include "cli/ConsoleReport.h"
#include "cli/ExitStatus.h"
#include "cli/JsonLines.h"
#include "driver/Messages.h"
#include "link/NetworkAddress.h"
#include "link/SerialPlatform.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstdio>

namespace {

const QString Description = QStringLiteral(
    "Writes FILE.hex into the PIC microcontroller in the ZELTRA IR programming cradle, as the\n"
    "window dwnld does, without showing a window, and reports on standard error. The port is\n"
    "the one in DWNLD.INI, which it reads and never writes, unless --port names one.\n"
    "With --verify or --read it writes nothing to the board: it checks the board against a\n"
    "HEX file, or reads the board into one.");

// Text wrapped to the help text's width: its first line after `lead`, the others indented as far.
QString wrapped(const QString& lead, const QString& text) {
    constexpr int Width = 80;
    const QString indent(lead.size(), QLatin1Char(' '));
    QString result;
    QString line = lead;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        if (line.size() > indent.size() && line.size() + 1 + word.size() > Width) {
            result += line + QLatin1Char('\n');
            line = indent;
        } else if (line.size() > indent.size()) {
            line += QLatin1Char(' ');
        }
        line += word;
    }
    return result + line + QLatin1Char('\n');
}

// The exit statuses' table.
QString exitStatusHelp() {
    QString help = QStringLiteral("\nExit status:\n");
    for (const ExitStatus::Meaning& meaning : ExitStatus::Meanings)
        help += wrapped(QStringLiteral("  %1").arg(meaning.status, -5),
                        QString::fromLatin1(meaning.text));
    return help + wrapped(QString(), QString::fromLatin1(ExitStatus::RepeatNote));
}

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version.")};
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("The port for this run alone; it is not saved. "
                                           "auto: look for the cradle on every port present, "
                                           "in every download. Given several times: a bench, "
                                           "one download for each port at once."),
                            QStringLiteral("NAME")};
    QCommandLineOption resetTimeout{
        QStringLiteral("reset-timeout"),
        QStringLiteral("Give up when no bootloader has answered within SECONDS (without it, "
                       "wait for RESET until interrupted)."),
        QStringLiteral("SECONDS")};
    QCommandLineOption repeat{QStringLiteral("repeat"),
                              QStringLiteral("After each board, wait for the next RESET and "
                                             "write the same file again, until interrupted.")};
    QCommandLineOption listPorts{QStringLiteral("list-ports"),
                                 QStringLiteral("List the ports present now: the name to give "
                                                "--port, the device, the description.")};
    QCommandLineOption quiet{QStringLiteral("quiet"),
                             QStringLiteral("Report failures only: no status texts, no progress.")};
    QCommandLineOption verify{
        QStringLiteral("verify"),
        QStringLiteral("Check that the board holds FILE.hex, in place of writing it: read back "
                       "every word a download of it writes, and the boot-vector word. Starts the "
                       "board's program when they all match; otherwise gives the words that "
                       "differ, and exit status 1."),
        QStringLiteral("FILE.hex")};
    QCommandLineOption read{
        QStringLiteral("read"),
        QStringLiteral("Read the board into OUT.hex, in place of writing a file: program memory "
                       "below the boot vector and the data EEPROM, as a HEX file that writes "
                       "them back. Starts the board's program when its last download finished."),
        QStringLiteral("OUT.hex")};
    QCommandLineOption eepromSize{
        QStringLiteral("eeprom-size"),
        QStringLiteral("With --read: the bytes of data EEPROM to read, 0 to 256 (default 256)."),
        QStringLiteral("N")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Write the events as JSON Lines on standard output, "
                                           "for programs to read.")};
    QCommandLineOption fromBench{QStringLiteral("from-bench"), QString()};
    Options() { fromBench.setFlags(QCommandLineOption::HiddenFromHelp); }
};

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

int usageError(const QString& fault) {
    print(stderr, QStringLiteral("dwnld-cli: %1\nTry dwnld-cli --help\n").arg(fault));
    return ExitStatus::NothingSent;
}

void listPorts() {
    for (const DetectedPort& port : serialPlatform().detectedPorts())
        print(stdout, port.name + QLatin1Char('\t') + port.device + QLatin1Char('\t') +
                          port.description + QLatin1Char('\n'));
}

// Takes --verify, --read and --eeprom-size, or the HEX file to write; the fault of a usage
// error, or empty.
QString readOperation(const QCommandLineParser& parser, const Options& options,
                      CommandLineOptions& taken) {
    using Operation = CommandLineOptions::Operation;
    if (parser.isSet(options.verify) && parser.isSet(options.read))
        return QStringLiteral("--verify or --read, not both");
    if (parser.isSet(options.verify) || parser.isSet(options.read)) {
        if (!parser.positionalArguments().isEmpty())
            return QStringLiteral("--verify and --read write no HEX file: leave it out");
        if (parser.isSet(options.repeat))
            return QStringLiteral("--repeat writes board after board: not with --verify or --read");
        taken.operation = parser.isSet(options.verify) ? Operation::Verify : Operation::Read;
        taken.hexFile =
            parser.value(taken.operation == Operation::Verify ? options.verify : options.read);
    } else if (parser.positionalArguments().size() == 1) {
        taken.hexFile = parser.positionalArguments().front();
    } else {
        return QStringLiteral("one HEX file to write, please");
    }
    if (parser.isSet(options.eepromSize)) {
        bool number = false;
        taken.eepromBytes = parser.value(options.eepromSize).toInt(&number);
        if (taken.operation != Operation::Read)
            return QStringLiteral("--eeprom-size goes with --read");
        if (!number || taken.eepromBytes < 0 || taken.eepromBytes > 256)
            return QStringLiteral("--eeprom-size takes a number of bytes from 0 to 256");
    }
    return {};
}

// Takes the options of a download; the fault of a usage error, or empty.
QString readOptions(const QCommandLineParser& parser, const Options& options,
                    CommandLineOptions& taken) {
    if (const QString fault = readOperation(parser, options, taken); !fault.isEmpty())
        return fault;
    taken.ports = parser.values(options.port);
    taken.port = taken.ports.value(0);
    taken.repeat = parser.isSet(options.repeat);
    taken.quiet = parser.isSet(options.quiet);
    taken.json = parser.isSet(options.json);
    taken.fromBench = parser.isSet(options.fromBench);
    if (parser.isSet(options.resetTimeout)) {
        bool number = false;
        const double seconds = parser.value(options.resetTimeout).toDouble(&number);
        if (!number || !(seconds * 1000 >= 1 && seconds * 1000 <= INT_MAX))
            return QStringLiteral("--reset-timeout takes a number of seconds, such as 30");
        taken.resetTimeoutMs = int(seconds * 1000);
    }
    if (taken.ports.contains(QString()))
        return QStringLiteral("--port takes the name of a port");
    if (taken.ports.size() > 1 && taken.ports.contains(AutoPort))
        return QStringLiteral("--port auto looks on every port: it cannot be one of several");
    if (taken.ports.removeDuplicates() > 0)
        return QStringLiteral("each port once, please");
    if (taken.ports.size() > 1 && taken.operation == CommandLineOptions::Operation::Read)
        return QStringLiteral("--read reads one board into its file: one port, please");
    for (const QString& port : std::as_const(taken.ports))
        if (isNetworkPortName(port))
            if (const ParsedNetworkAddress parsed = parseNetworkAddress(port); !parsed.ok())
                return QStringLiteral("--port ") + port + QStringLiteral(": ") + parsed.error;
    return {};
}

// Whether the HEX file is there to be read; reports why not. What it holds is the download's to
// check.
bool hexFilePresent(const QString& path, ConsoleReport& report) {
    if (isHexFilePresent(path))
        return true;
    report.reported(Message::CannotReadHexFile,
                    path + (QFileInfo::exists(path) ? QStringLiteral(" is not a file")
                                                    : QStringLiteral(" does not exist")));
    return false;
}

int download(const CommandLineOptions& options, const QString& executablePath) {
    QFile errors;
    openStandardStream(errors, StandardError);
    ConsoleReport report(errors, errorIsTerminal());
    if (options.operation != CommandLineOptions::Operation::Read &&
        !hexFilePresent(options.hexFile, report))
        return ExitStatus::NothingSent;
    if (options.ports.size() > 1)
        return Bench(options, executablePath, errors, errorIsTerminal()).run();
    if (options.fromBench)
        stopWhenParentAsks();
    const QString port =
        options.port.isEmpty()
            ? savedPort(SettingsFile(settingsLocation(executableDirectory(executablePath))))
            : options.port;
    QFile output;
    openStandardStream(output, StandardOutput);
    JsonLines json(output, port);
    return CommandLineDownload(options, port, report, options.json ? &json : nullptr).run();
}

} // namespace

int runCommandLine(const QStringList& arguments, const QString& executablePath) {
    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    const Options options;
    parser.addOptions({options.help, options.version, options.port, options.resetTimeout,
                       options.repeat, options.listPorts, options.quiet, options.verify,
                       options.read, options.eepromSize, options.json, options.fromBench});
    parser.addPositionalArgument(QStringLiteral("FILE.hex"),
                                 QStringLiteral("The Intel HEX file to write."));
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(options.help)) {
        print(stdout, parser.helpText() + exitStatusHelp());
        return 0;
    }
    if (parser.isSet(options.version)) {
        print(stdout, QStringLiteral("dwnld-cli %1\n").arg(QStringLiteral(DWNLD_VERSION)));
        return 0;
    }
    if (parser.isSet(options.listPorts)) {
        listPorts();
        return 0;
    }
    CommandLineOptions taken;
    if (const QString fault = readOptions(parser, options, taken); !fault.isEmpty())
        return usageError(fault);
    return download(taken, executablePath);
}
