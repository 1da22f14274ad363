// The real dwnld-cli, copied into a folder of its own, run with no display against the simulated
// target: its exit statuses, what it reports on standard error, its settings left alone, board
// after board, and its progress on a terminal and in a log.
#include "cli/CommandLineDownload.h"
#include "cli/ConsoleReport.h"
#include "cli/ExitStatus.h"
#include "device/Messages.h"
#include "driver/Messages.h"
#include "link/Messages.h"
#include "link/SerialDevice.h"
#include "link/SerialPlatform.h"
#include "sim/HexCompare.h"
#include "sim/PtyTarget.h"
#include "support/CliRun.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/ListedPorts.h"
#include "support/PtyPair.h"
#include "support/ScriptedPeer.h"
#include "ui/Messages.h"

#include <QBuffer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using zeltra::sim::Options;
using zeltra::sim::PtyTarget;

Q_DECLARE_METATYPE(Options)

namespace {

constexpr int RunTimeoutMs = CliRun::RunTimeoutMs;

// Whether the texts appear in this order.
bool inOrder(const QString& output, const QStringList& texts) {
    qsizetype from = 0;
    for (const QString& text : texts) {
        from = output.indexOf(text, from);
        if (from < 0)
            return false;
        from += text.size();
    }
    return true;
}

bool portIsFree(const QString& port) {
    SerialDevice device;
    return device.open(port) == SerialDevice::OpenResult::Ok && device.close();
}

// The pid of the child of `parent` whose command line holds `text`; 0 when there is none.
pid_t childWith(qint64 parent, const QString& text) {
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(parent));
    if (!children.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& pid : children.readAll().split(' ')) {
        QFile commandLine("/proc/" + pid.trimmed() + "/cmdline");
        if (commandLine.open(QIODevice::ReadOnly) && commandLine.readAll().contains(text.toUtf8()))
            return pid_t(pid.trimmed().toLongLong());
    }
    return 0;
}

// The JSON Lines events that a run wrote on standard output.
QList<QJsonObject> eventsOf(const QString& output) {
    QList<QJsonObject> events;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        events.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return events;
}

// The first event of a kind (and of a phase), or an empty object.
QJsonObject firstEvent(const QList<QJsonObject>& events, const QString& kind,
                       const QString& phase = QString()) {
    for (const QJsonObject& event : events)
        if (event["event"] == kind && (phase.isEmpty() || event["phase"] == phase))
            return event;
    return {};
}

} // namespace

class CliTest : public QObject {
    Q_OBJECT

private slots:
    void writesTheFile();
    void endsWithItsStatus_data();
    void endsWithItsStatus();
    void interruptedWhileWaitingForReset_data();
    void interruptedWhileWaitingForReset();
    void portForThisRunOnly_data();
    void portForThisRunOnly();
    void repeatsBoardAfterBoard();
    void commandLine_data();
    void commandLine();
    void progress_data();
    void progress();
    void listsThePortsPresent();
    void searchesWithPortAuto_data();
    void benchOfCradles_data();
    void benchOfCradles();
    void searchesWithPortAuto();
    void exitStatusesDocumented();
    void needsNoWindowSystem();
    void verifiesTheBoard_data();
    void verifiesTheBoard();
    void readsTheBoardBack_data();
    void readsTheBoardBack();
    void interruptedReadLeavesNoFile();
    void noticesLateAnswers_data();
    void noticesLateAnswers();
};

void CliTest::writesTheFile() {
    CliRun run;
    const QByteArray hex = HexFiles::image(64, 8);
    QVERIFY(run.start({run.writeHex(hex)}));
    QCOMPARE(run.finish(), 0);
    const QString output = run.errors();
    QVERIFY2(
        inOrder(output, {Message::PressReset, Message::Erasing, QStringLiteral("100 %"),
                         Message::Writing, QStringLiteral("100 %"), Message::WrittenSuccessfully}),
        qPrintable(output));
    QVERIFY(!output.contains(QLatin1Char('\r'))); // a log, not a terminal
    QVERIFY(run.target.report().goReceived);
    const auto comparison = zeltra::sim::compareWithHexFile(
        hex.toStdString(), [&](std::uint16_t at) { return run.target.programWord(at); },
        [&](std::uint16_t at) { return run.target.eepromByte(at); });
    QVERIFY2(comparison.matches(), zeltra::sim::describe(comparison).c_str());
}

void CliTest::endsWithItsStatus_data() {
    QTest::addColumn<Options>("target");
    QTest::addColumn<QByteArray>("hex"); // none written when empty
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("texts");
    const Options quick = DownloadRig::quickTarget();
    Options lostAck = quick;
    // Acknowledgements before it: boot-vector read, 248 rows, marker block, two boot-vector
    // reads, the record's address and first word.
    lostAck.dropAck = 1 + 248 * 2 + 5 + 1 + 1 + 1 + 2;
    Options neverReset;
    neverReset.reset = Options::Reset::Never;
    const QByteArray blankBeforeStart = HexFiles::wordRecord(0, {1}) + "\r\n" +
                                        HexFiles::wordRecord(1, {2}) + "\r\n " +
                                        HexFiles::endRecord();

    QTest::newRow("HEX file refused")
        << quick << blankBeforeStart << QStringList() << 2
        << QStringList{Message::ProblemReadingHexFile, "line 3 starts with a blank"};
    QTest::newRow("HEX file missing") << quick << QByteArray() << QStringList() << 2
                                      << QStringList{Message::CannotReadHexFile, "program.hex"};
    QTest::newRow("acknowledgement lost")
        << lostAck << HexFiles::image(4) << QStringList() << 1
        << QStringList{Message::Writing, Message::LostContact, Message::DownloadFailed};
    QTest::newRow("port missing") << quick << HexFiles::image(4)
                                  << QStringList{"--port", "/dev/zeltra-no-such-port"} << 1
                                  << QStringList{"Problem Opening Port /dev/zeltra-no-such-port",
                                                 "is not there"};
    QTest::newRow("network port malformed")
        << quick << HexFiles::image(4) << QStringList{"--port", "rfc2217://bench-pi:70000"} << 2
        << QStringList{"--port rfc2217://bench-pi:70000", "65535"};
    QTest::newRow("nothing listens at the network port")
        << quick << HexFiles::image(4) << QStringList{"--port", "socket://127.0.0.1:1"} << 1
        << QStringList{"Problem Opening Port socket://127.0.0.1:1", "127.0.0.1:1"};
    QTest::newRow("no RESET within --reset-timeout")
        << neverReset << HexFiles::image(4) << QStringList{"--reset-timeout", "1"} << 3
        << QStringList{Message::PressReset, "No bootloader answered within 1 s",
                       Message::DownloadCancelled};
}

void CliTest::endsWithItsStatus() {
    QFETCH(Options, target);
    QFETCH(QByteArray, hex);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QStringList, texts);
    CliRun run(target);
    const QString hexPath =
        hex.isEmpty() ? run.path(QStringLiteral("program.hex")) : run.writeHex(hex);
    QVERIFY(run.start(options << hexPath));
    QCOMPARE(run.finish(), status);
    QVERIFY2(inOrder(run.errors(), texts), qPrintable(run.errors()));
    QVERIFY(!run.target.report().goReceived);
    if (status == 2) // nothing sent
        QCOMPARE(run.target.report().bytesIn, 0u);
}

// Interrupted while it waits for RESET: by Ctrl-C, or by timeout(1), which signals the process
// and then its whole group, two interrupts that count as one.
void CliTest::interruptedWhileWaitingForReset_data() {
    QTest::addColumn<QStringList>("wrapper");
    QTest::newRow("Ctrl-C") << QStringList();
    QTest::newRow("timeout -s INT")
        << QStringList{"timeout", "--preserve-status", "-s", "INT", "3"};
}

void CliTest::interruptedWhileWaitingForReset() {
    QFETCH(QStringList, wrapper);
    Options target;
    target.reset = Options::Reset::Never;
    CliRun run(target);
    QVERIFY(run.start({run.writeHex(HexFiles::image(4))}, wrapper));
    QTRY_VERIFY_WITH_TIMEOUT(run.errors().contains(Message::PressReset), RunTimeoutMs);
    QVERIFY(!portIsFree(run.port())); // held while it waits
    if (wrapper.isEmpty())
        run.interrupt();
    QCOMPARE(run.finish(), 130);
    QVERIFY2(inOrder(run.errors(), {Message::PressReset, Message::DownloadCancelled}),
             qPrintable(run.errors()));
    QVERIFY(portIsFree(run.port()));
}

void CliTest::portForThisRunOnly_data() {
    QTest::addColumn<QByteArray>("settings"); // no settings file when empty
    QTest::newRow("settings naming another port")
        << QByteArray("; the bench's own\r\n[zeltra_ir_download]\r\nport = /dev/zeltra-other\r\n");
    QTest::newRow("no settings file") << QByteArray();
}

void CliTest::portForThisRunOnly() {
    QFETCH(QByteArray, settings);
    CliRun run;
    QFile::remove(run.settingsPath());
    if (!settings.isEmpty())
        run.writeSettings(settings);
    QVERIFY(run.start({"--port", run.port(), run.writeHex(HexFiles::image(8))}));
    QCOMPARE(run.finish(), 0);
    QVERIFY(run.target.report().goReceived);
    QFile file(run.settingsPath());
    QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), settings);
    QVERIFY(!QFile::exists(run.path(QStringLiteral("config")))); // nor the user's own file
}

void CliTest::repeatsBoardAfterBoard() {
    CliRun run; // the first RESET comes at once, each next one when the test presses it
    QVERIFY(run.start({"--repeat", run.writeHex(HexFiles::image(8))}));
    QTRY_VERIFY_WITH_TIMEOUT(run.errors().contains("Board 1: written in"), RunTimeoutMs);
    run.target.pressReset();
    QTRY_VERIFY_WITH_TIMEOUT(run.errors().contains("Board 2: written in"), RunTimeoutMs);
    run.interrupt();
    QCOMPARE(run.finish(), 0);
    QVERIFY2(inOrder(run.errors(), {Message::DownloadCancelled, "Boards: 2 written, 0 failed"}),
             qPrintable(run.errors()));
    QCOMPARE(run.target.report().commandCounts["g"], 2);
}

void CliTest::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text"); // on standard output or standard error
    QTest::newRow("help") << QStringList{"--help"} << 0 << "  130  Interrupted (Ctrl-C)";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "dwnld-cli " DWNLD_VERSION;
    QTest::newRow("no file") << QStringList() << 2 << "one HEX file";
    QTest::newRow("two files") << QStringList{"a.hex", "b.hex"} << 2 << "one HEX file";
    QTest::newRow("unknown option") << QStringList{"--fast", "a.hex"} << 2 << "Unknown option";
    QTest::newRow("time-out not a number")
        << QStringList{"--reset-timeout", "soon", "a.hex"} << 2 << "--reset-timeout takes";
    QTest::newRow("--verify and --read")
        << QStringList{"--verify", "a.hex", "--read", "b.hex"} << 2 << "not both";
    QTest::newRow("--read and a file to write")
        << QStringList{"--read", "b.hex", "a.hex"} << 2 << "leave it out";
    QTest::newRow("--eeprom-size without --read")
        << QStringList{"--eeprom-size", "16", "a.hex"} << 2 << "--eeprom-size goes with --read";
    QTest::newRow("--eeprom-size too large")
        << QStringList{"--read", "b.hex", "--eeprom-size", "257"} << 2 << "from 0 to 256";
    QTest::newRow("--read into a missing folder")
        << QStringList{"--read", "/zeltra-no-such-folder/b.hex"} << 2
        << Message::CannotWriteHexFile;
}

void CliTest::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, text);
    CliRun run;
    QVERIFY(run.start(arguments));
    QCOMPARE(run.finish(), status);
    QVERIFY(run.standardOutput().contains(text) || run.errors().contains(text));
    QCOMPARE(run.target.report().bytesIn, 0u);
}

// The report itself: a bar redrawn in place on a terminal, a line at every 10 % in a log, both
// only growing, and only for the erase and the write.
void CliTest::progress_data() {
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("terminal") << true
                              << QStringList{"Erasing ZELTRA IR memory\n",
                                             "\r  [...............",
                                             "\r  [###############...............]  50 %  0:",
                                             "\r  [##############################] 100 %  0:",
                                             "\nWriting Program to ZELTRA IR\n",
                                             "100 %",
                                             "\nProgram Written Successfully\n"};
    QTest::newRow("log") << false
                         << QStringList{"Erasing ZELTRA IR memory\n   50 %  0:", " left\n  100 %",
                                        " elapsed\nWriting Program to ZELTRA IR\n  100 %",
                                        " elapsed\nProgram Written Successfully\n"};
}

void CliTest::progress() {
    QFETCH(bool, terminal);
    QFETCH(QStringList, texts);
    QBuffer out;
    QVERIFY(out.open(QIODevice::WriteOnly));
    ConsoleReport report(out, terminal);
    report.progress(10); // no erase or write yet
    report.phase(DownloadPhase::Erasing);
    report.shown(Message::Erasing);
    report.progress(0);
    report.progress(50);
    report.progress(40);
    report.progress(100);
    report.phase(DownloadPhase::Writing);
    report.shown(Message::Writing);
    report.shown(Message::Writing);
    report.progress(100);
    report.phase(DownloadPhase::Done);
    report.shown(Message::WrittenSuccessfully);
    report.progress(20);
    const QString output = QString::fromLocal8Bit(out.data());
    QVERIFY2(inOrder(output, texts), qPrintable(output));
    QVERIFY(!output.contains(QStringLiteral(" 40 %")) && !output.contains(QStringLiteral(" 20 %")));
    QCOMPARE(output.count(Message::Writing), 1);
}

// One line for each port present: the name to give --port, the device, the description.
void CliTest::listsThePortsPresent() {
    CliRun run;
    QVERIFY(run.start({"--list-ports"}));
    QCOMPARE(run.finish(), 0);
    QString expected;
    for (const DetectedPort& port : serialPlatform().detectedPorts()) {
        QVERIFY(!port.name.isEmpty() && !port.device.isEmpty());
        expected += port.name + '\t' + port.device + '\t' + port.description + '\n';
    }
    QCOMPARE(run.standardOutput(), expected);
}

// --port auto looks for the cradle on every port present in every download, and saves nothing;
// --reset-timeout bounds the search as it bounds the wait for RESET.
void CliTest::searchesWithPortAuto_data() {
    QTest::addColumn<QString>("cradle"); // where the target is: "listed", "linked" or none
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("found") << "listed" << 0 << "Cradle found on /dev/";
    // Only a stable link names it, as for a device that Qt does not list.
    QTest::newRow("found through its stable link") << "linked" << 0 << "Cradle found on ";
    QTest::newRow("none within --reset-timeout") << "" << 3 << "No bootloader answered within 1 s";
}

void CliTest::searchesWithPortAuto() {
    QFETCH(QString, cradle);
    QFETCH(int, status);
    QFETCH(QString, text);
    PtyTarget target(DownloadRig::quickTarget());
    PtyPair silent;
    const ScriptedPeer listener(silent);
    ListedPorts ports;
    ports.present = {{silent.slavePath(), silent.slavePath(), QString()}};
    const QString targetPath = QString::fromStdString(target.devicePath());
    if (cradle == "listed")
        ports.present.append({targetPath, targetPath, QStringLiteral("ZELTRA IR cradle")});
    QTemporaryDir links;
    if (cradle == "linked") {
        ports.stableLinks = links.path();
        const QString link = links.filePath("usb-ZELTRA_IR_cradle-if00-port0");
        QVERIFY(QFile::link(targetPath, link));
        QVERIFY(QFile::link(silent.slavePath(), links.filePath("usb-other-if00"))); // asked once
        text += QFileInfo(link).absoluteFilePath();
    }
    QTemporaryDir folder;
    CommandLineOptions options;
    options.hexFile = HexFiles::writeFile(folder.filePath("program.hex"), HexFiles::image(8));
    options.port = AutoPort;
    options.resetTimeoutMs = 1000;
    QBuffer out;
    QVERIFY(out.open(QIODevice::WriteOnly));
    ConsoleReport report(out, false);
    QCOMPARE(CommandLineDownload(options, options.port, report).run(), status);
    const QString output = QString::fromLocal8Bit(out.data());
    QVERIFY2(output.contains(text), qPrintable(output));
    QCOMPARE(target.report().goReceived, !cradle.isEmpty());
    QCOMPARE(listener.receivedBytes().count('*'), listener.receivedBytes().size());
    QVERIFY(!listener.receivedBytes().isEmpty());
    QVERIFY(QDir(folder.path()).entryList(QDir::Files) == QStringList{"program.hex"});
}

// Three cradles at once, each in a process of its own: the JSON Lines hold every board, a failed
// board fails the run and the summary names its port, a cradle whose process is killed leaves the
// others to be written, and an interrupt stops them all and releases every port.
void CliTest::benchOfCradles_data() {
    QTest::addColumn<Options>("third"); // the first two are quick and sound
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("summary");     // of the third port, after its name (a pattern)
    QTest::addColumn<QString>("soundResult"); // of the first two
    Options sound = DownloadRig::quickTarget();
    Options wrongWord = sound;
    wrongWord.wrongWord = std::pair<std::uint16_t, std::uint16_t>{0x0003, 0x0000};
    Options neverReset;
    neverReset.reset = Options::Reset::Never;
    QTest::newRow("all written") << sound << "" << 0 << ": 1 written, 0 failed"
                                 << "written";
    QTest::newRow("one word wrong")
        << wrongWord << "" << 1 << ": 0 written, 1 failed, .* \\(Download Failed: word 0003"
        << "written";
    QTest::newRow("one process killed")
        << neverReset << "kill" << 1 << ": 0 written, 0 failed \\(the cradle's process ended"
        << "written";
    QTest::newRow("interrupted") << neverReset << "interrupt" << 130 << ": 0 written, 0 failed"
                                 << "no-bootloader";
    Options late = sound; // behind an adapter whose latency timer holds every answer
    late.lineModel = true;
    late.adapterLatencyMs = 16;
    late.bootVector = "1000"; // 254 commands to erase: the first 200 are timed there
    QTest::newRow("answers late") << late << "" << 0
                                  << ": 1 written, 0 failed[^\n]*\n    Each answer arrives about"
                                  << "written";
    // Blank boards do not hold the file.
    QTest::newRow("verified") << sound << "verify" << 1
                              << ": 0 matched, 1 differs, .* \\(ZELTRA IR does not hold"
                              << "differs";
}

void CliTest::benchOfCradles() {
    QFETCH(Options, third);
    QFETCH(QString, action);
    QFETCH(int, status);
    QFETCH(QString, summary);
    QFETCH(QString, soundResult);
    const bool interrupt = action == "interrupt";
    const bool verify = action == "verify";
    Options first = DownloadRig::quickTarget();
    if (interrupt)
        first.reset = Options::Reset::Never;
    CliRun run(first);
    PtyTarget second(first);
    PtyTarget last(third);
    const QStringList ports{run.port(), QString::fromStdString(second.devicePath()),
                            QString::fromStdString(last.devicePath())};
    QStringList arguments{"--json", "--port", ports[0], "--port", ports[1], "--port", ports[2]};
    if (verify)
        arguments << "--verify";
    QVERIFY(run.start(arguments << run.writeHex(HexFiles::image(8))));
    if (!action.isEmpty() && !verify) {
        const int waiting = interrupt ? 3 : 1;
        QTRY_VERIFY_WITH_TIMEOUT(run.errors().count(Message::PressReset) >= waiting, RunTimeoutMs);
        if (interrupt)
            run.interrupt();
        else
            QVERIFY(::kill(childWith(run.processId(), ports[2]), SIGKILL) == 0);
    }
    QCOMPARE(run.finish(), status);
    const QString errors = run.errors();
    QVERIFY2(
        errors.contains(QRegularExpression("  " + QRegularExpression::escape(ports[2]) + summary)),
        qPrintable(errors.right(500)));
    QMap<QString, QString> results; // the last result of each port
    QJsonObject overall;
    for (const QByteArray& line : run.standardOutput().toUtf8().split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonObject event = QJsonDocument::fromJson(line, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
        for (const char* field : {"port", "board", "event", "ms"})
            QVERIFY2(event.contains(QLatin1String(field)), line.constData());
        if (event["event"] == "result")
            results[event["port"].toString()] = event["result"].toString();
        if (event["event"] == "summary" && event["port"].toString().isEmpty())
            overall = event;
    }
    QCOMPARE(overall["status"].toInt(), status);
    for (int i = 0; i < 2; ++i) // the sound ones
        QCOMPARE(results.value(ports[i]), soundResult);
    QCOMPARE(run.target.report().goReceived && second.report().goReceived, !interrupt && !verify);
    if (verify)
        QVERIFY2(errors.contains(ports[0] + ": Board 1: differs, verified in"),
                 qPrintable(errors.right(500)));
    for (const QString& port : ports)
        QVERIFY2(action == "kill" || portIsFree(port), qPrintable(port));
}

// The help text and the manual page give every exit status with the same meaning.
void CliTest::exitStatusesDocumented() {
    CliRun run;
    QVERIFY(run.start({"--help"}));
    QCOMPARE(run.finish(), 0);
    const auto words = [](QString text) {
        return text.replace(QStringLiteral("\\-"), QStringLiteral("-")).simplified();
    };
    const QString help = words(run.standardOutput());
    QFile page(qEnvironmentVariable("DWNLD_SOURCE_DIR") + "/packaging/dwnld-cli.1");
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString manual = words(QString::fromUtf8(page.readAll()));
    for (const ExitStatus::Meaning& meaning : ExitStatus::Meanings) {
        const QString entry = QString::number(meaning.status) + ' ' + meaning.text;
        QVERIFY2(help.contains(entry), qPrintable(entry));
        QVERIFY2(manual.contains(".TP .B " + entry), qPrintable(entry));
    }
    QVERIFY(help.contains(words(ExitStatus::RepeatNote)));
    QVERIFY(manual.contains(".PP " + words(ExitStatus::RepeatNote)));
    const QString section = manual.section(".SH EXIT STATUS", 1).section(".SH", 0, 0);
    QCOMPARE(section.count(".TP"), qsizetype(ExitStatus::Meanings.size())); // and no other
}

// The command-line program links Qt Core (and Qt Serial Port) alone: a machine without Qt's GUI
// and X libraries runs it.
void CliTest::needsNoWindowSystem() {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {qEnvironmentVariable("DWNLD_CLI_EXE")});
    QVERIFY(ldd.waitForFinished(60000));
    QCOMPARE(ldd.exitCode(), 0);
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    QVERIFY2(libraries.contains(QStringLiteral("libQt6Core.so")), qPrintable(libraries));
    for (const QString& library : {QStringLiteral("libQt6Gui"), QStringLiteral("libQt6Widgets")})
        QVERIFY2(!libraries.contains(library), qPrintable(libraries));
}

// What the verification and the read tests write into the board first: a record that a download
// skips (the configuration word), and a last record that takes three fill words.
QByteArray writtenFirst() {
    return HexFiles::wordRecord(0x2007, {0x3F72}) + "\r\n" + HexFiles::image(61, 8);
}

// A board that holds the file, or not quite: --verify reads it back and writes nothing.
void CliTest::verifiesTheBoard_data() {
    QTest::addColumn<quint16>("address"); // the word changed on the board after the download
    QTest::addColumn<quint16>("word");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("holds the file")
        << quint16(0) << HexFiles::imageWord(0) << 0
        << QStringList{Message::PressReset, Message::Verifying, "100 %", Message::HoldsHexFile};
    QTest::newRow("a fill word changed")
        << quint16(0x3E) << quint16(0x1234) << 1
        << QStringList{Message::DoesNotHoldHexFile, "    1 of 72 words differ:",
                       "    word 003E: 1234 on the board, 3FFF in the file"};
    QTest::newRow("download unfinished")
        << quint16(0x1F00) << quint16(0x19FF) << 1
        << QStringList{Message::DoesNotHoldHexFile,
                       "    the boot-vector word 1F00 reads 19FF, not 19CC"};
}

void CliTest::verifiesTheBoard() {
    QFETCH(quint16, address);
    QFETCH(quint16, word);
    QFETCH(int, status);
    QFETCH(QStringList, texts);
    CliRun run;
    const QString hexPath = run.writeHex(writtenFirst());
    QCOMPARE(run.run({hexPath}), 0);
    run.target.pressReset();
    run.target.setProgramWord(address, word);
    auto counts = run.target.report().commandCounts;
    QCOMPARE(run.run({"--verify", hexPath}), status);
    QVERIFY2(inOrder(run.errors(), texts), qPrintable(run.errors()));
    counts["g"] += status == 0 ? 1 : 0; // the board's program is started only when it matches
    for (const char* command : {"w", "e", "g"})
        QCOMPARE(run.target.report().commandCounts[command], counts[command]);
    QVERIFY(run.target.report().violations.empty());
}

// A board read into a file, and the file written into a fresh board: both hold the same words.
void CliTest::readsTheBoardBack_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("records"); // data records: the used blocks eight words a record, the
                                      // EEPROM read eight bytes a record
    QTest::newRow("whole EEPROM") << QStringList() << 8 + 32;
    QTest::newRow("--eeprom-size 16") << QStringList{"--eeprom-size", "16"} << 8 + 2;
}

void CliTest::readsTheBoardBack() {
    QFETCH(QStringList, options);
    QFETCH(int, records);
    CliRun board;
    QCOMPARE(board.run({board.writeHex(writtenFirst())}), 0);
    board.target.pressReset();
    const QString copy = board.path(QStringLiteral("copy.hex"));
    QCOMPARE(board.run(options << "--read" << copy), 0);
    QVERIFY2(inOrder(board.errors(), {Message::Reading, "100 %", Message::readInto(copy)}),
             qPrintable(board.errors()));
    QCOMPARE(board.target.report().commandCounts["g"], 2);
    QCOMPARE(HexFiles::readFile(copy).count('\n'), records + 1);

    CliRun fresh;
    QCOMPARE(fresh.run({copy}), 0);
    for (quint16 address = 0; address < 0x1F04; ++address)
        QCOMPARE(fresh.target.programWord(address), board.target.programWord(address));
    for (quint16 offset = 0; offset < 256; ++offset)
        QCOMPARE(fresh.target.eepromByte(offset), board.target.eepromByte(offset));
}

// The file is written only once the board has been read whole.
void CliTest::interruptedReadLeavesNoFile() {
    Options target = DownloadRig::quickTarget();
    target.lineModel = true; // a read of some 35 s
    CliRun run(target);
    QVERIFY(run.start({"--read", run.path(QStringLiteral("copy.hex"))}));
    QTRY_VERIFY_WITH_TIMEOUT(run.errors().contains(Message::Reading), RunTimeoutMs);
    run.interrupt();
    QCOMPARE(run.finish(), 130);
    QVERIFY2(inOrder(run.errors(), {Message::Reading, Message::DownloadCancelled}),
             qPrintable(run.errors()));
    QStringList files = QDir(run.path(QString())).entryList(QDir::Files);
    files.sort();
    QCOMPARE(files, (QStringList{"DWNLD.INI", "dwnld-cli"}));
    QVERIFY(!run.target.report().goReceived);
}

// Through a USB adapter whose latency timer holds every answer, the notice comes early in the
// write with an estimate near the download's real time, and so for a read: on standard error
// (not under --quiet) and as slow-line. Through an adapter in low latency and on the line itself,
// it never comes.
void CliTest::noticesLateAnswers_data() {
    QTest::addColumn<int>("latencyMs"); // of the modelled adapter; 0: the line itself
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<QString>("operation"); // as the notice names it; empty: no notice
    const QStringList read{"--read", "board.hex", "--eeprom-size", "0"};
    QTest::newRow("adapter, 16 ms") << 16 << QStringList() << "0800"
                                    << "download";
    QTest::newRow("adapter, 16 ms, --quiet") << 16 << QStringList{"--quiet"} << "0800"
                                             << "download";
    QTest::newRow("adapter, 16 ms, --read") << 16 << read << "0100"
                                            << "read";
    QTest::newRow("adapter, 1 ms") << 1 << QStringList() << "0800"
                                   << "";
    QTest::newRow("line") << 0 << QStringList() << "0800"
                          << "";
}

void CliTest::noticesLateAnswers() {
    QFETCH(int, latencyMs);
    QFETCH(QStringList, options);
    QFETCH(QString, bootVector);
    QFETCH(QString, operation);
    Options target = DownloadRig::quickTarget();
    target.lineModel = true;
    target.adapterLatencyMs = latencyMs;
    target.bootVector = bootVector.toStdString(); // 0800: 63 rows to erase
    CliRun run(target);
    const bool reads = options.contains("--read");
    if (reads)
        options[1] = run.path(options[1]);
    else
        options << run.writeHex(HexFiles::image(96, 8));
    QCOMPARE(run.run(QStringList{"--json"} + options), 0);
    const QList<QJsonObject> events = eventsOf(run.standardOutput());
    const QJsonObject notice = firstEvent(events, "slow-line");
    const bool toldOnError = run.errors().contains("Each answer arrives about");
    QCOMPARE(toldOnError, !operation.isEmpty() && !options.contains("--quiet"));
    QCOMPARE(!notice.isEmpty(), !operation.isEmpty());
    if (operation.isEmpty())
        return;
    QVERIFY2(notice["text"].toString().contains("this " + operation + " will take about"),
             qPrintable(notice["text"].toString()));
    QVERIFY2(notice["lateMsPerCommand"].toDouble() > 2.0, qPrintable(run.standardOutput()));
    QVERIFY(notice["measuredMsPerCommand"].toDouble() > notice["expectedMsPerCommand"].toDouble());
    QVERIFY(notice["cause"].toString().contains("low latency"));
    if (!reads) {
        const qint64 writingMs = firstEvent(events, "phase", "writing")["ms"].toInteger();
        QVERIFY2(notice["ms"].toInteger() <= writingMs + 2000, qPrintable(run.standardOutput()));
    }
    const double realMs = firstEvent(events, "result")["boardMs"].toDouble();
    const double estimatedMs = notice["estimatedMs"].toDouble();
    QVERIFY2(
        qAbs(estimatedMs - realMs) <= 0.2 * realMs,
        qPrintable(QStringLiteral("estimated %1 ms, took %2 ms").arg(estimatedMs).arg(realMs)));
}

QTEST_MAIN(CliTest)
#include "test_cli.moc"
