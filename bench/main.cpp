// dwnld-bench: measures the downloader through its real window, and dwnld-cli beside it, against
// the simulated target on a pseudo-terminal, prints a table of the figures and writes them as JSON.
#include "bench/CommandRun.h"
#include "bench/DelayRelay.h"
#include "bench/Figures.h"
#include "bench/Ser2net.h"
#include "bench/Session.h"
#include "driver/HexFileCheck.h"
#include "driver/HexFileReader.h"
#include "link/Messages.h"
#include "link/Protocol.h"
#include "support/HexFiles.h"
#include "support/ListedPorts.h"
#include "support/PtyPair.h"
#include "support/ScriptedPeer.h"
#include "ui/Messages.h"

#include <sched.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

using zeltra::sim::Options;

namespace {

constexpr int FullImageWords = 0x1F00; // program memory below a boot vector of 1F00
constexpr int FullImageEepromBytes = 256;

void progress(const QString& text) {
    std::fprintf(stderr, "bench: %s\n", qPrintable(text));
}

Options quickTarget(bool lineModel) {
    Options options;
    options.reset = Options::Reset::Immediately;
    options.lineModel = lineModel;
    return options;
}

void requireSuccess(const Session& session, const char* what) {
    if (session.succeeded())
        return;
    const zeltra::sim::Report report = session.report();
    std::string violations;
    for (const std::string& violation : report.violations)
        violations += "\n  " + violation;
    throw std::runtime_error(std::string(what) + ": the download did not succeed (last report \"" +
                             session.lastReport().toStdString() + "\", \"g\" " +
                             (report.goReceived ? "sent" : "not sent") + ")" + violations);
}

// The value below which the fraction q of the values lie.
double percentile(std::vector<double> values, double q) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(q * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

std::vector<double> turnaroundMicros(const zeltra::sim::Report& report) {
    std::vector<double> micros;
    for (const auto gap : report.hostTurnarounds)
        micros.push_back(double(gap.count()) / 1000.0);
    return micros;
}

// Keeps the calling thread, and the threads it starts, to one processor while it lives. A
// hand-over between the tool and the simulated target is then a switch on that processor, not the
// wake-up of another, idle one, which a virtual machine does tens of microseconds late, some
// 40,000 times in a full download: the ratio then measures the tool rather than the hypervisor.
class OneProcessor {
public:
    OneProcessor() {
        if (::sched_getaffinity(0, sizeof all_, &all_) != 0)
            return;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &all_)) {
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(cpu, &one);
                pinned_ = ::sched_setaffinity(0, sizeof one, &one) == 0;
                return;
            }
        }
    }
    ~OneProcessor() {
        if (pinned_)
            ::sched_setaffinity(0, sizeof all_, &all_);
    }
    OneProcessor(const OneProcessor&) = delete;
    OneProcessor& operator=(const OneProcessor&) = delete;

private:
    cpu_set_t all_{};
    bool pinned_ = false;
};

// The window's full download; returns its ratio of wall time to modelled time.
double windowFullDownload(FigureTable& table, const QByteArray& image) {
    progress("full download with the line model through the window (about 80 s), tool and "
             "target on one processor");
    Session session(quickTarget(true), image);
    const double wall = session.run();
    requireSuccess(session, "full download with the line model");
    const zeltra::sim::Report report = session.report();
    const double modelled = double(report.modelledMicros) / 1.0e6;
    const double exchange = *report.goAfterMs / 1000.0; // first byte to "g"
    const auto turnarounds = turnaroundMicros(report);

    table.add("wallSeconds", "wall time, window shown to download ended", wall, "s");
    table.add("modelledSeconds", "modelled line and part time", modelled, "s");
    table.add({"wallToModelled", "ratio wall / modelled", wall / modelled, "", 1.03, false});
    table.add({"exchangeToModelled", "ratio first byte to \"g\" / modelled", exchange / modelled,
               "", 1.03, false});
    table.add("turnaroundMedianMicros", "answer's last byte to next command, median",
              percentile(turnarounds, 0.5), "us");
    const double hostTotal = std::accumulate(turnarounds.begin(), turnarounds.end(), 0.0) / 1.0e6;
    const double lateTotal = double(report.lateAnswers.count()) / 1.0e9;
    table.add("turnaroundsSeconds", "answers' last bytes to next commands, in all", hostTotal, "s");
    table.add("targetLateSeconds", "target's answers later than due, in all", lateTotal, "s");
    // The simulated target's own lateness is no time of the host's.
    table.add({"hostWallToModelled", "ratio (wall - target's lateness) / modelled",
               (wall - lateTotal) / modelled, "", 1.03, false});
    table.note("commands", session.commandsSent());
    table.note("bytesIn", double(report.bytesIn));
    table.note("bytesOut", double(report.bytesOut));
    return wall / modelled;
}

// How much more of the modelled time the command may take than the window: the two ratios,
// measured one after the other on a loaded machine, differ by up to 0.017 either way.
constexpr double CommandMargin = 0.02;

// The same download by dwnld-cli, as a production bench runs it: the command and zeltra-sim each
// a process of its own (both kept to the window's processor), timed from the command's start to
// its exit.
void commandFullDownload(FigureTable& table, const QByteArray& image, double windowRatio) {
    progress("the same download by dwnld-cli against zeltra-sim, each a process of its own "
             "(about 80 s), on the same processor");
    CommandRun run(
        {QStringLiteral("--line-model"), QStringLiteral("--reset"), QStringLiteral("immediately")},
        image);
    const double wall = run.run();
    const QJsonObject report = run.report();
    if (!run.succeeded() || !report["goReceived"].toBool() ||
        !report["violations"].toArray().isEmpty())
        throw std::runtime_error(
            "dwnld-cli's full download did not succeed:\n" + run.errors().toStdString() +
            QJsonDocument(report["violations"].toArray()).toJson().toStdString());
    const double modelled = report["modelledMicros"].toDouble() / 1.0e6;
    const double exchange = report["goAfterMs"].toDouble() / 1000.0;

    table.add("commandWallSeconds", "dwnld-cli: wall time, command started to exited", wall, "s");
    table.add(
        {"commandWallToModelled",
         QStringLiteral("dwnld-cli: ratio wall / modelled (window's + %1)").arg(CommandMargin),
         wall / modelled, "", windowRatio + CommandMargin, false});
    table.add("commandExchangeToModelled", "dwnld-cli: ratio first byte to \"g\" / modelled",
              exchange / modelled, "");
    table.note("commandModelledSeconds", modelled);
}

// 1. The whole program memory and the EEPROM at 19200 baud, through the window and through
// dwnld-cli: the host should add next to nothing to the time the line and the part take.
void fullDownloadWithLineModel(FigureTable& table) {
    table.section("1. Full download, line model on (1F00 words + 256 EEPROM bytes; one processor)");
    const OneProcessor oneProcessor; // the processes started here inherit it
    const QByteArray image = HexFiles::image(FullImageWords, FullImageEepromBytes);
    const double windowRatio = windowFullDownload(table, image);
    commandFullDownload(table, image, windowRatio);
}

// 2. The same download on a line without modelled time: what remains is the host's own cost.
void fullDownloadWithoutLineModel(FigureTable& table) {
    progress("full download without the line model");
    Session session(quickTarget(false), HexFiles::image(FullImageWords, FullImageEepromBytes));
    const double wall = session.run();
    requireSuccess(session, "full download without the line model");
    const int commands = session.commandsSent();
    const auto turnarounds = turnaroundMicros(session.report());

    table.section("2. Full download, line model off");
    table.add("wallSeconds", "wall time", wall, "s");
    table.add("commands", "commands sent", double(commands), "");
    table.add("wallPerCommandMicros", "wall time per command", wall * 1.0e6 / commands, "us");
    table.add({"turnaroundMedianMicros", "answer's last byte to next command, median",
               percentile(turnarounds, 0.5), "us", 100.0, true});
    table.add("turnaroundP99Micros", "answer's last byte to next command, 99th pct",
              percentile(turnarounds, 0.99), "us");
    table.note("turnarounds", double(turnarounds.size()));
    table.note("turnaroundMaxMicros", percentile(turnarounds, 1.0));
}

// CPU used between two moments of a download, as a share of the wall time between them: of the
// window's thread (the tool) and of the whole process (the tool and the simulated target).
struct CpuWindow {
    double wall0 = 0, thread0 = 0, process0 = 0;
    double wall = 0, thread = 0, process = 0;
    QElapsedTimer clock;

    void begin() {
        clock.start();
        thread0 = threadCpuSeconds();
        process0 = processCpuSeconds();
    }
    void end() {
        wall = double(clock.nsecsElapsed()) / 1.0e9;
        thread = threadCpuSeconds() - thread0;
        process = processCpuSeconds() - process0;
    }
    double threadPercent() const { return 100.0 * thread / wall; }
    double processPercent() const { return 100.0 * process / wall; }
};

void addCpuFigures(FigureTable& table, const QString& key, const QString& what,
                   const CpuWindow& cpu) {
    table.add(key + "WallSeconds", what + ": wall time", cpu.wall, "s");
    table.add({key + "ToolCpuPercent", what + ": tool's CPU", cpu.threadPercent(), "%", 2.0, true});
    table.add(key + "ProcessCpuPercent", what + ": tool and target thread", cpu.processPercent(),
              "%");
}

// 3. Waiting must not spin a core: 5 s of asking a bootloader whose RESET is never pressed, and
// one acknowledgement that never comes.
void waiting(FigureTable& table) {
    table.section("3. Waiting");

    progress("5 s of waiting for RESET");
    Options never = quickTarget(false);
    never.reset = Options::Reset::Never;
    CpuWindow resetWait;
    {
        Session session(never, HexFiles::image(64));
        session.when([&] { return session.phase() == DownloadPhase::WaitingForReset; },
                     [&] {
                         resetWait.begin();
                         QTimer::singleShot(5000, &session.form(), [&] {
                             resetWait.end();
                             session.form().CancelButton->click();
                         });
                     },
                     5);
        session.run();
        if (session.failure() != Message::DownloadCancelled || resetWait.wall == 0)
            throw std::runtime_error("waiting for RESET did not end in a cancel");
        table.note("syncRequestsPerSecond", session.report().syncBytes / resetWait.wall);
    }
    addCpuFigures(table, "resetWait", "waiting for RESET", resetWait);

    progress("one acknowledgement time-out");
    Options dropped = quickTarget(false);
    dropped.dropAck = 2; // the first row's address command of the erase
    CpuWindow ackWait;
    {
        Session session(dropped, HexFiles::image(64));
        session.when([&] { return session.phase() == DownloadPhase::Erasing; },
                     [&] { ackWait.begin(); }, 5);
        session.run(); // the download ends right after reporting the lost contact
        ackWait.end();
        if (session.failure() != Message::LostContact)
            throw std::runtime_error("the acknowledgement time-out was not reported");
    }
    addCpuFigures(table, "ackTimeout", QStringLiteral("%1 ms ack time-out").arg(AckTimeoutMs),
                  ackWait);
}

// A HEX file of `lines` lines: data records of eight words, then the end record.
QByteArray longHexFile(int lines) {
    QByteArray text;
    text.reserve(qsizetype(lines) * 45);
    for (int i = 0; i < lines - 1; ++i) {
        const int start = (i * 8) & 0x7FF8;
        QList<quint16> words;
        for (int w = 0; w < 8; ++w)
            words.append(HexFiles::imageWord(start + w));
        text += HexFiles::wordRecord(quint16(start), words) + "\r\n";
    }
    return text + HexFiles::endRecord() + "\r\n";
}

double millisOf(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1.0e6;
}

// The wall time and the window thread's CPU time of one download.
struct DownloadCost {
    double wall = 1.0e9, cpu = 1.0e9;
};

DownloadCost downloadCost(const Options& options, int words) {
    Session session(options, HexFiles::image(words));
    const double cpu0 = threadCpuSeconds();
    const double wall = session.run();
    const double cpu = threadCpuSeconds() - cpu0;
    requireSuccess(session, "growth download");
    return {wall, cpu};
}

// Cost per word of the largest image over that of the smallest: above 1 when the cost grows
// faster than the image. (Below 1 the fixed costs are not quite taken out for small images.)
double growthRatio(const QList<double>& perWord) {
    return perWord.last() / perWord.first();
}

// 4. Growth: the download's time per word stays the same from 1K to 8K words, and the file
// passes before the first record is sent cost little even for a long file.
void growth(FigureTable& table) {
    table.section("4. Growth, line model off, boot vector 2000");
    Options options = quickTarget(false);
    options.bootVector = "2000"; // 8K words fill program memory below it
    // Every size is downloaded once per round and its least cost kept: a busy machine only ever
    // adds time, and taking the sizes in turn spreads its bursts over all of them.
    const QList<int> sizes{0, 1024, 2048, 4096, 8192};
    QList<DownloadCost> least(sizes.size());
    for (int round = 1; round <= 3; ++round) {
        progress(QStringLiteral("downloads of 0 to 8192 words, round %1 of 3").arg(round));
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            const DownloadCost cost = downloadCost(options, sizes[i]);
            least[i] = {std::min(least[i].wall, cost.wall), std::min(least[i].cpu, cost.cpu)};
        }
    }
    const DownloadCost empty = least[0];
    table.add("emptyImageSeconds", "wall time, empty image (erase and completion)", empty.wall,
              "s");
    QList<double> wallPerWord, cpuPerWord;
    for (qsizetype i = 1; i < sizes.size(); ++i) {
        wallPerWord.append((least[i].wall - empty.wall) * 1.0e6 / sizes[i]);
        cpuPerWord.append((least[i].cpu - empty.cpu) * 1.0e6 / sizes[i]);
        const QString size = QString::number(sizes[i]);
        table.add("wallSeconds" + size, "wall time, " + size + " words", least[i].wall, "s");
        table.add("wallPerWordMicros" + size, "  per word beyond the empty image",
                  wallPerWord.last(), "us");
        table.add("toolCpuPerWordMicros" + size, "  tool's CPU per word beyond the empty image",
                  cpuPerWord.last(), "us");
    }
    table.add({"wallPerWordGrowth", "wall time per word, 8192 / 1024 words",
               growthRatio(wallPerWord), "", 1.25, false});
    table.add({"toolCpuPerWordGrowth", "tool's CPU per word, 8192 / 1024 words",
               growthRatio(cpuPerWord), "", 1.25, false});

    progress("HEX file of 100,000 lines");
    constexpr int Lines = 100000;
    QTemporaryDir dir;
    const QString path = dir.filePath("long.hex");
    HexFiles::writeFile(path, longHexFile(Lines));
    HexFileReader reader(path);
    HexFileCheck checked;
    int read = 0;
    const double check = millisOf([&] { checked = checkHexFile(reader); });
    const double send = millisOf([&] {
        reader.open();
        for (; !reader.atEnd(); ++read)
            reader.readLine();
        reader.close();
    });
    if (!checked.fault.isEmpty() || checked.lineCount != Lines || read != Lines)
        throw std::runtime_error("the long HEX file was not read whole");
    table.add("hexCheckMillis", "100,000-line file: check and count", check, "ms");
    table.add("hexReadMillis", "100,000-line file: read", send, "ms");
    table.add({"hexTotalMillis", "100,000-line file: check and count, then read", check + send,
               "ms", 200.0, true});
}

// One download's wall time and the line and part time the simulated target modelled for it, and
// what the pace came to if it found its answers late.
struct TimedDownload {
    double wall = 0, modelled = 0;
    std::optional<LateAnswers> late;
};

TimedDownload timedDownload(const Options& options, int words, int eepromBytes, const char* what) {
    Session session(options, HexFiles::image(words, eepromBytes));
    const double wall = session.run();
    requireSuccess(session, what);
    return {wall, double(session.report().modelledMicros) / 1.0e6, session.lateAnswers()};
}

// When the download of the records told of late answers, and what it estimated beside its real
// time; or that it told of none.
void addNotice(FigureTable& table, const QString& key, const QString& adapter,
               const TimedDownload& download, int part) {
    if (!download.late) {
        table.add(key + "Notices", adapter + ": notices of late answers", 0, "");
        return;
    }
    const QString which =
        part == 1 ? QStringLiteral("the download") : QStringLiteral("the 1/%1 download").arg(part);
    table.add(key + "NoticeSeconds", adapter + ": notice, after the first command",
              double(download.late->afterMs) / 1000.0, "s");
    table.add(key + "NoticeEstimateSeconds", adapter + ": notice's estimate of " + which,
              double(download.late->estimatedMs) / 1000.0, "s");
    table.add(key + "NoticeRealSeconds", adapter + ": wall time of " + which, download.wall, "s");
}

// 5. The full download through a USB serial adapter whose latency timer holds every answer:
// 16 ms, an FTDI adapter's own, and 1 ms, with the low latency the tool asks for. Whole, the 16 ms
// download takes over five minutes, so by default it is measured in two parts and extrapolated:
// the download of an empty image (identification, the erase of all program memory, the
// completion), which does not grow with the image, and that of 1/part of the image, whose
// records' share grows in proportion. With part 1 the full image is downloaded whole. The
// download of the records also gives when the tool told of late answers, and its estimate.
void throughAdapters(FigureTable& table, int part) {
    table.section(part == 1
                      ? QStringLiteral("5. Full download through a USB serial adapter, line model "
                                       "on (one processor), downloaded whole")
                      : QStringLiteral("5. Full download through a USB serial adapter, line model "
                                       "on (one processor), extrapolated from an empty image "
                                       "and 1/%1 of the image")
                            .arg(part));
    const OneProcessor oneProcessor;
    for (const int latency : {16, 1}) {
        const QString adapter = QStringLiteral("%1 ms adapter").arg(latency);
        progress(QStringLiteral("full download through a %1 (%2)")
                     .arg(adapter, part == 1 ? QStringLiteral("whole")
                                             : QStringLiteral("two parts, then extrapolated")));
        Options options = quickTarget(true);
        options.adapterLatencyMs = latency;
        TimedDownload full = timedDownload(options, FullImageWords / part,
                                           FullImageEepromBytes / part, "adapter download");
        const TimedDownload records = full;
        if (part > 1) {
            const TimedDownload fixed = timedDownload(options, 0, 0, "adapter download");
            full = {fixed.wall + part * (full.wall - fixed.wall),
                    fixed.modelled + part * (full.modelled - fixed.modelled), std::nullopt};
        }
        const QString key = QStringLiteral("adapter%1ms").arg(latency);
        table.add(key + "Seconds", adapter + ": wall time", full.wall, "s");
        table.add(key + "ToModelled", adapter + ": ratio wall / modelled line and part time",
                  full.wall / full.modelled, "");
        table.note(key + "ModelledSeconds", full.modelled);
        addNotice(table, key, adapter, records, part);
    }
    table.note("adapterPart", part);
}

// A port that is not the cradle: a pseudo-terminal whose far end reads everything and never
// answers.
struct SilentPort {
    PtyPair pty;
    ScriptedPeer peer{pty};
};

using SteadyClock = std::chrono::steady_clock;

// One search among the silent ports and a target whose RESET is pressed `resetAfter` after the
// download starts: the milliseconds from the press to the cradle found.
double searchMillis(const std::vector<std::unique_ptr<SilentPort>>& silent, std::size_t cradleIndex,
                    std::chrono::milliseconds resetAfter) {
    Options options = quickTarget(true);
    options.reset = Options::Reset::Never; // until pressed here
    Session session(options, HexFiles::image(64));
    const QString cradle = QString::fromStdString(session.target().devicePath());
    ListedPorts listed; // COM1 to COM3 are absent
    for (const auto& port : silent)
        listed.present.append({port->pty.slavePath(), port->pty.slavePath(), QString()});
    listed.present.insert(qsizetype(cradleIndex), {cradle, cradle, QStringLiteral("cradle")});

    TDownloadForm& form = session.form();
    std::optional<SteadyClock::time_point> found;
    QObject::connect(&form.session(), &DownloadSession::cradleFound, &form, [&] {
        found = SteadyClock::now();
        form.session().requestStop(); // only the search is measured
    });
    form.session().portSearch = DownloadSession::PortSearch::EveryDownload;
    form.session().HexFileName = session.hexPath();
    form.session().HexFilePresent = true;
    SteadyClock::time_point pressed;
    std::thread reset([&] {
        std::this_thread::sleep_for(resetAfter);
        session.target().pressReset();
        pressed = SteadyClock::now(); // the bootloader answers from here on
    });
    form.writeHexFile();
    reset.join();
    if (!found || *found < pressed || form.session().PortName != cradle)
        throw std::runtime_error("the search did not find the cradle after RESET");
    return double(std::chrono::duration_cast<std::chrono::microseconds>(*found - pressed).count()) /
           1000.0;
}

// 6. Find the Cradle among eight ports, seven of them silent: from the moment the bootloader can
// answer (RESET pressed) to the cradle found. RESET falls at a different moment of the search's
// passes, and the cradle stands at a different place in the list, each time.
void findingTheCradle(FigureTable& table) {
    table.section("6. Finding the cradle among 8 ports (7 silent), line model on");
    constexpr int Searches = 20;
    progress(QStringLiteral("%1 searches for the cradle among 8 ports").arg(Searches));
    std::vector<std::unique_ptr<SilentPort>> silent;
    for (int i = 0; i < 7; ++i)
        silent.push_back(std::make_unique<SilentPort>());
    std::vector<double> millis;
    for (int i = 0; i < Searches; ++i)
        millis.push_back(
            searchMillis(silent, std::size_t(i % 8), std::chrono::milliseconds(200 + 17 * i)));
    table.add({"searchMedianMillis", "RESET pressed to cradle found, median",
               percentile(millis, 0.5), "ms", 60.0, false});
    table.add("searchWorstMillis", "RESET pressed to cradle found, worst", percentile(millis, 1.0),
              "ms");
    table.note("searches", Searches);
}

// The figures of one production bench run: the command's wall time and CPU time, the
// simulators' CPU time, and each target's modelled time and its first byte to "g".
struct BenchRun {
    double wall = 0, cpu = 0, simulatorsCpu = 0;
    std::vector<double> modelled, exchange;
};

// Starts `cradles` zeltra-sim processes and runs dwnld-cli on all of their ports at once.
BenchRun productionRun(int cradles, const QByteArray& image) {
    const QStringList simArguments{QStringLiteral("--line-model"), QStringLiteral("--reset"),
                                   QStringLiteral("immediately")};
    const double cpu0 = endedChildrenCpuSeconds();
    std::vector<std::unique_ptr<CommandRun>> targets;
    QStringList otherPorts;
    for (int i = 0; i < cradles; ++i) {
        targets.push_back(std::make_unique<CommandRun>(simArguments, image));
        if (i > 0)
            otherPorts << targets.back()->port();
    }
    CommandRun& first = *targets.front();
    BenchRun run;
    run.wall = first.run(otherPorts);
    run.cpu = first.cpuSeconds();
    if (!first.succeeded())
        throw std::runtime_error("dwnld-cli on " + std::to_string(cradles) +
                                 " cradles did not succeed:\n" + first.errors().toStdString());
    for (const auto& target : targets) {
        const QJsonObject report = target->report();
        if (!report["goReceived"].toBool() || !report["violations"].toArray().isEmpty())
            throw std::runtime_error("a cradle of the production bench was not written");
        run.modelled.push_back(report["modelledMicros"].toDouble() / 1.0e6);
        run.exchange.push_back(report["goAfterMs"].toDouble() / 1000.0);
    }
    run.simulatorsCpu = endedChildrenCpuSeconds() - cpu0 - run.cpu; // all have been waited for
    return run;
}

// 7. A production bench: dwnld-cli writing four cradles at once (one child process per port)
// against writing one, each cradle a zeltra-sim process with the line model, on all processors.
void productionBench(FigureTable& table) {
    table.section("7. Production bench: 4 cradles at once against 1, line model on (full image)");
    const QByteArray image = HexFiles::image(FullImageWords, FullImageEepromBytes);
    progress("dwnld-cli on one cradle (about 80 s)");
    const BenchRun one = productionRun(1, image);
    progress("dwnld-cli on four cradles at once (about 80 s)");
    const BenchRun four = productionRun(4, image);

    table.add("oneWallSeconds", "one cradle: wall time, command started to exited", one.wall, "s");
    table.add("oneWallToModelled", "one cradle: ratio wall / modelled", one.wall / one.modelled[0],
              "");
    table.add({"oneCpuPercent", "one cradle: CPU per cradle / wall (of one core)",
               100.0 * one.cpu / one.wall, "%", 5.0, false});
    table.add("fourWallSeconds", "four cradles: wall time, command started to exited", four.wall,
              "s");
    table.add({"fourToOne", "four cradles' wall time / one cradle's", four.wall / one.wall, "", 1.1,
               false});
    const double longest = *std::max_element(four.modelled.begin(), four.modelled.end());
    table.add("fourWallToModelled", "four cradles: ratio wall / longest modelled",
              four.wall / longest, "");
    table.add({"fourCpuPercent", "four cradles: CPU per cradle / wall (of one core)",
               100.0 * four.cpu / 4 / four.wall, "%", 5.0, false});
    double worstExchange = 0;
    for (std::size_t i = 0; i < four.modelled.size(); ++i)
        worstExchange = std::max(worstExchange, four.exchange[i] / four.modelled[i]);
    table.add("fourExchangeToModelled",
              "four cradles: ratio first byte to \"g\" / modelled, worst target", worstExchange,
              "");
    table.add("fourSimulatorsCpuPercent",
              "four cradles: the 4 simulators' CPU / wall (of one core)",
              100.0 * four.simulatorsCpu / four.wall, "%");
    table.note("oneExchangeToModelled", one.exchange[0] / one.modelled[0]);
    table.note("oneCpuSeconds", one.cpu);
    table.note("fourCpuSeconds", four.cpu);
    table.note("modelledSeconds", longest);
}

// How dwnld-cli reaches the simulated target in measurement 8.
enum class Route {
    Direct,          // its pseudo-terminal
    Ser2net,         // rfc2217:// through ser2net with chardelay false
    Ser2netDefaults, // the same with ser2net's defaults
    Ser2netDelayed   // the first, behind a relay that models a network's round trip
};

// Each way through the relay: 1 ms per round trip.
constexpr std::chrono::microseconds RelayHold{500};

// One download by dwnld-cli and what the target reports of it.
struct RemoteDownload {
    double wall = 0, modelled = 0, commands = 0;
};

RemoteDownload remoteDownload(Route route, int words, int eepromBytes) {
    CommandRun run(
        {QStringLiteral("--line-model"), QStringLiteral("--reset"), QStringLiteral("immediately")},
        HexFiles::image(words, eepromBytes));
    std::optional<Ser2net> server;
    std::optional<DelayRelay> relay;
    QString port = run.port();
    if (route != Route::Direct) {
        server.emplace(run.port(), route == Route::Ser2netDefaults ? Ser2net::CharDelay::Default
                                                                   : Ser2net::CharDelay::Off);
        port = server->url();
    }
    if (route == Route::Ser2netDelayed) {
        relay.emplace(server->port(), RelayHold);
        port = QStringLiteral("rfc2217://127.0.0.1:%1").arg(relay->port());
    }
    const double wall = run.runOn({port});
    const QJsonObject report = run.report();
    if (!run.succeeded() || !report["goReceived"].toBool() ||
        !report["violations"].toArray().isEmpty())
        throw std::runtime_error(
            "dwnld-cli's download on " + port.toStdString() + " did not succeed:\n" +
            run.errors().toStdString() +
            QJsonDocument(report["violations"].toArray()).toJson().toStdString());
    double commands = 0;
    for (const QJsonValue count : report["commandCounts"].toObject())
        commands += count.toDouble();
    return {wall, report["modelledMicros"].toDouble() / 1.0e6, commands};
}

// The full download on `route`: whole with part 1, otherwise extrapolated as measurement 5 does,
// from an empty image and 1/part of the image.
RemoteDownload fullRemoteDownload(Route route, int part, const QString& what) {
    progress(QStringLiteral("full download by dwnld-cli %1 (%2)")
                 .arg(what, part == 1 ? QStringLiteral("whole")
                                      : QStringLiteral("two parts, then extrapolated")));
    RemoteDownload full = remoteDownload(route, FullImageWords / part, FullImageEepromBytes / part);
    if (part > 1) {
        const RemoteDownload fixed = remoteDownload(route, 0, 0);
        const auto grown = [part](double fixed, double partial) {
            return fixed + part * (partial - fixed);
        };
        full = {grown(fixed.wall, full.wall), grown(fixed.modelled, full.modelled),
                grown(fixed.commands, full.commands)};
    }
    return full;
}

// 8. Remote cradles: the full download by dwnld-cli with the line model on the target's
// pseudo-terminal, and through ser2net on loopback (RFC 2217, the device configured at 9600 baud
// so that the tool sets 19200 through the server): with chardelay false, with ser2net's defaults,
// and with chardelay false behind a relay that adds 1 ms to every round trip. Everything on one
// processor, as in measurement 1.
void remoteCradles(FigureTable& table, int part) {
    table.section(part == 1
                      ? QStringLiteral("8. Remote cradles: full download by dwnld-cli through "
                                       "ser2net on loopback, line model on (one processor), "
                                       "downloaded whole")
                      : QStringLiteral("8. Remote cradles: full download by dwnld-cli through "
                                       "ser2net on loopback, line model on (one processor), "
                                       "extrapolated from an empty image and 1/%1 of the image")
                            .arg(part));
    const OneProcessor oneProcessor; // ser2net and the relay's thread too
    const RemoteDownload direct =
        fullRemoteDownload(Route::Direct, part, QStringLiteral("on the pseudo-terminal"));
    const RemoteDownload remote = fullRemoteDownload(
        Route::Ser2net, part, QStringLiteral("through ser2net, chardelay false"));
    const RemoteDownload delayed =
        fullRemoteDownload(Route::Ser2netDelayed, part,
                           QStringLiteral("through ser2net, chardelay false, 1 ms round trip"));
    const RemoteDownload defaults = fullRemoteDownload(
        Route::Ser2netDefaults, part, QStringLiteral("through ser2net with its defaults"));

    const double commands = direct.commands;
    const auto perCommandMillis = [&](const RemoteDownload& download) {
        return (download.wall - direct.wall) * 1000.0 / commands;
    };
    table.add("directSeconds", "pseudo-terminal: wall time", direct.wall, "s");
    table.add("directToModelled", "pseudo-terminal: ratio wall / modelled",
              direct.wall / direct.modelled, "");
    table.add("rfc2217Seconds", "ser2net, chardelay false: wall time", remote.wall, "s");
    table.add({"rfc2217ToDirect", "ser2net, chardelay false: wall / pseudo-terminal's",
               remote.wall / direct.wall, "", 1.03, false});
    table.add("rfc2217PerCommandMillis", "  added per command", perCommandMillis(remote), "ms");
    // At most the pseudo-terminal's time and 1.1 times the round trips' own.
    const double roundTrips = commands * 2 * std::chrono::duration<double>(RelayHold).count();
    table.add({"delayedSeconds", "ser2net, 1 ms round trip: wall time", delayed.wall, "s",
               direct.wall + 1.1 * roundTrips, false});
    table.add("delayedPerCommandMillis", "  added per command", perCommandMillis(delayed), "ms");
    table.add("defaultsSeconds", "ser2net's defaults: wall time", defaults.wall, "s");
    table.add("defaultsToDirect", "ser2net's defaults: wall / pseudo-terminal's",
              defaults.wall / direct.wall, "");
    table.add("defaultsPerCommandMillis", "  added per command", perCommandMillis(defaults), "ms");
    table.note("commands", commands);
    table.note("modelledSeconds", direct.modelled);
    table.note("rfc2217ToModelled", remote.wall / remote.modelled);
    table.note("delayedToModelled", delayed.wall / delayed.modelled);
    table.note("defaultsToModelled", defaults.wall / defaults.modelled);
    table.note("remotePart", part);
}

// The value given after an option, or an empty text.
QString optionValue(const QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString jsonPath = optionValue(QApplication::arguments(), QStringLiteral("--json"));
    // --only 2,3 runs those measurements alone.
    const QStringList only = optionValue(QApplication::arguments(), QStringLiteral("--only"))
                                 .split(QLatin1Char(','), Qt::SkipEmptyParts);
    // --adapter-part N measures the adapter downloads on 1/N of the image (8 by default, 1: whole).
    const QString part = optionValue(QApplication::arguments(), QStringLiteral("--adapter-part"));
    const int adapterPart = part.isEmpty() ? 8 : std::max(1, part.toInt());
    // --remote-part N measures the remote cradles on 1/N of the image (4 by default, 1: whole).
    const QString remote = optionValue(QApplication::arguments(), QStringLiteral("--remote-part"));
    const int remotePart = remote.isEmpty() ? 4 : std::max(1, remote.toInt());
    const std::function<void(FigureTable&)> measurements[] = {
        fullDownloadWithLineModel,
        fullDownloadWithoutLineModel,
        waiting,
        growth,
        [&](FigureTable& table) { throughAdapters(table, adapterPart); },
        findingTheCradle,
        productionBench,
        [&](FigureTable& table) { remoteCradles(table, remotePart); }};

    FigureTable table;
    try {
        for (std::size_t i = 0; i < std::size(measurements); ++i)
            if (only.isEmpty() || only.contains(QString::number(i + 1)))
                measurements[i](table);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench: %s\n", error.what());
        return 2;
    }

    const QJsonObject machine = machineDescription();
    QTextStream(stdout) << "Machine: " << machineSummary(machine) << "\n\n" << table.text();
    if (!jsonPath.isEmpty()) {
        QJsonObject json = table.json();
        json.insert("machine", machine);
        QFile file(jsonPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(QJsonDocument(json).toJson()) < 0) {
            std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(jsonPath));
            return 2;
        }
    }
    return table.allMet() ? 0 : 1;
}
