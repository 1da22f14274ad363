// The fault matrix: whole downloads through the real window against a simulated target that
// misbehaves in one way per row, or a user who cancels, closes or picks a port in one phase.
// Each row states how the download must end: the text left on the status line (and a message
// that must have been shown before it), the gauge, whether the target was told to run its
// program, whether the window stays open, and what the target's memory holds afterwards.
#include "device/Markers.h"
#include "device/Messages.h"
#include "driver/Messages.h"
#include "link/Messages.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/PumpWatch.h"
#include "support/StatusHistory.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

using zeltra::sim::Options;

namespace {

constexpr quint16 Erased = 0x3FFF;
constexpr int ProgramWords = 16;
constexpr int EepromBytes = 8;

// Two program records of eight words at 0000 and 0008, one EEPROM record of eight items.
QByteArray standardFile() {
    return HexFiles::image(ProgramWords, EepromBytes);
}

// A command line of the standard file's fault-free download: the `occurrence`-th line that
// reads `command`, then `offset` lines further on. The target drops the acknowledgement of that
// line, or hangs up the line when it receives it.
struct Fault {
    enum Kind { None, LostAcknowledgement, HangUp } kind = None;
    QString command;
    int occurrence = 0;
    int offset = 0;
};

// When the user acts: the moment the download is seen in that phase.
enum class Phase { None, Starting, WaitingForReset, Erasing, Writing, FinalPause };
enum class Request { None, Cancel, PortChoice, Close, HangUp };

// What the target's memory holds at the end.
enum class Image {
    Intact,       // exactly as before the download: the previous program, marked complete
    PartlyErased, // the first rows erased, the last one and the completion marker untouched
    Unfinished,   // erased up to the boot vector, which holds the erase marker: it will not run
    Complete,     // the file, the rest erased, the completion marker
};

} // namespace

Q_DECLARE_METATYPE(Options)
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Phase)
Q_DECLARE_METATYPE(Request)
Q_DECLARE_METATYPE(Image)

namespace {

// 1-based number of the command line that a fault names, in a command log.
int lineNumber(const QStringList& log, const Fault& fault) {
    int seen = 0;
    for (int i = 0; i < log.size(); ++i) {
        if (log[i] == fault.command && ++seen == fault.occurrence) {
            return i + 1 + fault.offset;
        }
    }
    qFatal("no line %s #%d in the reference download", qPrintable(fault.command), fault.occurrence);
}

// The number of acknowledgements that the target gives up to and including a command line.
int acknowledgementNumber(const QStringList& log, int line) {
    int acknowledgements = 0;
    for (int i = 0; i < line; ++i) {
        const QString& command = log[i];
        acknowledgements += command == "e" || command.startsWith('a') || command.startsWith('w');
    }
    return acknowledgements;
}

quint16 bootVectorOf(const Options& target) {
    return quint16(QString::fromStdString(target.bootVector).toUInt(nullptr, 16));
}

bool inPhase(DownloadRig& rig, Phase phase) {
    TDownloadForm& form = rig.form();
    switch (phase) {
    case Phase::Starting: // Write has cleared the status line; the port is not open yet
        return rig.status().isEmpty();
    case Phase::WaitingForReset:
        return rig.status() == Message::PressReset && rig.report().syncBytes >= 3;
    case Phase::Erasing:
        return rig.status() == Message::Erasing && form.DownloadGauge->progress() >= 0x100;
    case Phase::Writing:
        return rig.status() == Message::Writing && form.DownloadGauge->progress() >= 2;
    case Phase::FinalPause: // the 25 ms pause after the completion marker
        return rig.status() == Message::Writing && form.session().Timer1->isActive();
    case Phase::None:
        break;
    }
    return false;
}

void perform(DownloadRig& rig, Request request) {
    TDownloadForm& form = rig.form();
    switch (request) {
    case Request::Cancel:
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
        break;
    case Request::Close:
        QTest::mouseClick(form.CloseButton, Qt::LeftButton);
        break;
    case Request::PortChoice:
        form.COM2Item->trigger();
        break;
    case Request::HangUp: {
        // The line goes dead; the tool is seen still waiting a while later, and then cancelled.
        rig.target().hangUp();
        auto since = std::make_shared<QElapsedTimer>();
        since->start();
        rig.when([&rig,
                  since] { return since->elapsed() >= 300 && rig.status() == Message::PressReset; },
                 [&rig] { perform(rig, Request::Cancel); });
        break;
    }
    case Request::None:
        break;
    }
}

void verifyImage(DownloadRig& rig, Image image, const Options& target,
                 const std::string& imageBefore) {
    zeltra::sim::PtyTarget& memory = rig.target();
    const quint16 bootVector = bootVectorOf(target);
    const quint16 lastRow = quint16(bootVector - 0x20);
    switch (image) {
    case Image::Intact:
        QCOMPARE(memory.imageAsIntelHex(), imageBefore);
        break;
    case Image::PartlyErased:
        QCOMPARE(memory.programWord(0), Erased);
        QCOMPARE(memory.programWord(lastRow), quint16(0x2000 | (lastRow & 0x0FFF)));
        QCOMPARE(memory.programWord(bootVector), CompletionMarker);
        break;
    case Image::Unfinished:
        for (quint16 address = lastRow; address < bootVector; ++address) {
            QCOMPARE(memory.programWord(address), Erased);
        }
        QCOMPARE(memory.programWord(bootVector), EraseMarker);
        break;
    case Image::Complete: {
        const bool standard = bootVector == 0x1F00;
        const int words = standard ? ProgramWords : 0;
        for (int address = 0; address < bootVector; ++address) {
            QCOMPARE(memory.programWord(quint16(address)),
                     address < words ? HexFiles::imageWord(address) : Erased);
        }
        for (int offset = 0; standard && offset < EepromBytes; ++offset) {
            QCOMPARE(memory.eepromByte(quint16(0x2100 + offset)),
                     HexFiles::imageEepromByte(offset));
        }
        QCOMPARE(memory.programWord(bootVector), CompletionMarker);
        break;
    }
    }
}

} // namespace

class FaultTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void endsAsSpecified_data();
    void endsAsSpecified();

private:
    QStringList referenceLog_; // the standard file's fault-free download
};

void FaultTest::initTestCase() {
    DownloadRig rig;
    rig.createWindow(standardFile());
    rig.showAndDownload();
    QCOMPARE(rig.status(), Message::WrittenSuccessfully);
    referenceLog_ = rig.commands();
}

void FaultTest::endsAsSpecified_data() {
    QTest::addColumn<Options>("target");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("status");  // left on the status line
    QTest::addColumn<QString>("flashed"); // shown before it, when not empty
    QTest::addColumn<bool>("red");
    QTest::addColumn<bool>("go"); // "g" received
    QTest::addColumn<bool>("open");
    QTest::addColumn<Image>("image");

    const QByteArray file = standardFile();
    const Options quick = DownloadRig::quickTarget();
    Options neverReset = quick;
    neverReset.reset = Options::Reset::Never;
    const auto with = [&](auto change) {
        Options options = quick;
        change(options);
        return options;
    };
    const auto lostAck = [](QString command, int occurrence, int offset) {
        return Fault{Fault::LostAcknowledgement, command, occurrence, offset};
    };
    const auto hangUp = [](QString command, int occurrence, int offset) {
        return Fault{Fault::HangUp, command, occurrence, offset};
    };
    const auto row = [&](const char* name, const Options& target, const Fault& fault, Phase phase,
                         Request request, const QString& status, const QString& flashed, bool red,
                         bool go, bool open, Image image, const QByteArray& text) {
        QTest::newRow(name) << target << text << fault << phase << request << status << flashed
                            << red << go << open << image;
    };
    const auto failure = [&](const char* name, const Options& target, const Fault& fault,
                             const QString& status, const QString& flashed, Image image) {
        row(name, target, fault, Phase::None, Request::None, status, flashed, true, false, true,
            image, file);
    };
    const auto success = [&](const char* name, const Options& target) {
        row(name, target, {}, Phase::None, Request::None, Message::WrittenSuccessfully, {}, false,
            true, false, Image::Complete, file);
    };

    // The target: its reset button, its identity and its boot vector.
    row("RESET never pressed, then Cancel", neverReset, {}, Phase::WaitingForReset, Request::Cancel,
        Message::DownloadCancelled, {}, true, false, true, Image::Intact, file);
    failure("another firmware version", with([](Options& o) { o.firmwareVersion = "10"; }), {},
            Message::IncorrectFirmware, {}, Image::Intact);
    failure("boot vector 2001", with([](Options& o) { o.bootVector = "2001"; }), {},
            Message::ProgramTooLarge, {}, Image::Intact);
    success("boot vector 1f00 in lower case", with([](Options& o) { o.bootVector = "1f00"; }));
    failure("boot vector ZZZZ", with([](Options& o) { o.bootVector = "ZZZZ"; }), {},
            Message::EraseFailed, {}, Image::Intact);
    failure("boot vector 0005", with([](Options& o) { o.bootVector = "0005"; }), {},
            Message::EraseFailed, {}, Image::Intact);

    // One acknowledgement lost. The waits that follow on the closed port each take their
    // 1000 ms, so each loss is placed on the last acknowledgement of its block or record.
    failure("acknowledgement lost in the erase rows", quick, lostAck("e", 100, 0),
            Message::LostContact, {}, Image::PartlyErased);
    failure("acknowledgement lost in the erase marker block", quick, lostAck("w19FF", 1, 3),
            Message::EraseFailed, Message::LostContact, Image::Unfinished);
    failure("acknowledgement lost in a program record", quick, lostAck("a0008", 1, 8),
            Message::DownloadFailed, Message::LostContact, Image::Unfinished);
    failure("acknowledgement lost in an EEPROM record", quick, lostAck("a2107", 1, 1),
            Message::DownloadFailed, Message::LostContact, Image::Unfinished);
    // The block itself reached the target: it holds the whole file, but "g" is not sent.
    failure("acknowledgement lost in the completion block", quick, lostAck("w19CC", 1, 3),
            Message::writeFailed("1F00"), Message::LostContact, Image::Complete);

    // Slow, noisy and broken answers. Every acknowledgement is late, so that row erases one
    // row (boot vector 001C) and writes an empty file.
    row("acknowledgements 900 ms late", with([](Options& o) {
            o.ackDelayMs = 900;
            o.bootVector = "001C";
        }),
        {}, Phase::None, Request::None, Message::WrittenSuccessfully, {}, false, true, false,
        Image::Complete, {});
    failure("acknowledgements 1100 ms late", with([](Options& o) { o.ackDelayMs = 1100; }), {},
            Message::IncorrectVectorAddress, Message::LostContact, Image::Intact);
    success("garbage before acknowledgements",
            with([](Options& o) { o.garbageBeforeAck = "x*?\r"; }));
    success("0xFF before acknowledgements", with([](Options& o) { o.ffBeforeAck = 2; }));
    // A pause of more than 10 ms ends a read. Each row stays well clear of that bound, as a
    // late wake-up of the target (or of the tool) on a busy machine moves a pause either way.
    success("reply split by 2 ms", with([](Options& o) { o.replySplitGapMs = 2; }));
    failure("reply split by 100 ms", with([](Options& o) { o.replySplitGapMs = 100; }), {},
            Message::IncorrectVectorAddress, {}, Image::Intact);
    failure("one wrong read-back word", with([](Options& o) {
                o.wrongWord = std::pair<std::uint16_t, std::uint16_t>{3, 0};
            }),
            {}, Message::DownloadFailed, {}, Image::Unfinished);
    failure("cancelling pair of wrong words",
            with([](Options& o) { o.cancellingPair = std::uint16_t(0x000A); }), {},
            Message::DownloadFailed, {}, Image::Unfinished);

    // The line hung up. While waiting for RESET the tool waits on, until the user cancels.
    row("hang-up while waiting for RESET", neverReset, {}, Phase::WaitingForReset, Request::HangUp,
        Message::DownloadCancelled, {}, true, false, true, Image::Intact, file);
    failure("hang-up during the erase", quick, hangUp("e", 100, 0), Message::LostContact, {},
            Image::PartlyErased);
    failure("hang-up during writing", quick, hangUp("a0008", 1, 8), Message::DownloadFailed,
            Message::LostContact, Image::Unfinished);

    // The user in each phase. Cancel and Close are disabled during the erase, so there they do
    // nothing; a request made during the pause before the last synchronisation is forgotten by
    // it, as every request made before a synchronisation is, but Close has closed the port.
    struct PhaseRow {
        const char* name;
        Phase phase;
        Options target;
    };
    const PhaseRow phases[] = {{"waiting for RESET", Phase::WaitingForReset, neverReset},
                               {"erasing", Phase::Erasing, quick},
                               {"writing", Phase::Writing, quick},
                               {"final pause", Phase::FinalPause, quick}};
    struct RequestRow {
        const char* name;
        Request request;
    };
    const RequestRow requests[] = {{"Cancel", Request::Cancel},
                                   {"port choice", Request::PortChoice},
                                   {"Close", Request::Close}};
    for (const PhaseRow& phase : phases) {
        for (const RequestRow& request : requests) {
            const QByteArray name = QByteArray(request.name) + " while " + phase.name;
            const bool close = request.request == Request::Close;
            const auto end = [&](const QString& status, bool red, bool go, bool open, Image image) {
                row(name.constData(), phase.target, {}, phase.phase, request.request, status, {},
                    red, go, open, image, file);
            };
            switch (phase.phase) {
            case Phase::WaitingForReset:
                end(Message::DownloadCancelled, true, false, !close, Image::Intact);
                break;
            case Phase::Erasing:
                if (request.request == Request::PortChoice) {
                    end(Message::DownloadCancelled, true, false, true, Image::PartlyErased);
                } else {
                    end(Message::WrittenSuccessfully, false, true, false, Image::Complete);
                }
                break;
            case Phase::Writing:
                end(close ? Message::DownloadFailed : Message::DownloadCancelled, true, false,
                    !close, Image::Unfinished);
                break;
            case Phase::FinalPause:
                if (close) {
                    end(Message::IncorrectFirmware, true, false, false, Image::Complete);
                } else {
                    end(Message::WrittenSuccessfully, false, true, false, Image::Complete);
                }
                break;
            case Phase::Starting:
            case Phase::None:
                break;
            }
        }
    }
    // Close as the download starts: the request is not forgotten when the line is opened, or
    // the tool would wait for RESET with no window left to cancel it.
    row("Close as the download starts", neverReset, {}, Phase::Starting, Request::Close,
        Message::DownloadCancelled, {}, true, false, false, Image::Intact, file);
}

void FaultTest::endsAsSpecified() {
    QFETCH(Options, target);
    QFETCH(QByteArray, file);
    QFETCH(Fault, fault);
    QFETCH(Phase, phase);
    QFETCH(Request, request);
    QFETCH(QString, status);
    QFETCH(QString, flashed);
    QFETCH(bool, red);
    QFETCH(bool, go);
    QFETCH(bool, open);
    QFETCH(Image, image);

    if (fault.kind == Fault::LostAcknowledgement) {
        target.dropAck = acknowledgementNumber(referenceLog_, lineNumber(referenceLog_, fault));
    } else if (fault.kind == Fault::HangUp) {
        target.hangUpAfter = lineNumber(referenceLog_, fault);
    }
    DownloadRig rig(target);
    const std::string imageBefore = rig.target().imageAsIntelHex();
    rig.createWindow(file);
    TDownloadForm& form = rig.form();
    const StatusHistory history(form.Edit2);
    if (request != Request::None) {
        atFirstPumpWhere(
            &form, [&rig, phase] { return inPhase(rig, phase); },
            [&rig, request] { perform(rig, request); });
    }
    // A download that would wait for good is ended by a cancel request, and the row fails.
    bool stuck = false;
    QTimer::singleShot(60000, &form, [&] {
        stuck = true;
        form.session().CancelRequested = true;
    });
    rig.showAndDownload();

    QVERIFY2(!stuck, "the download did not end by itself");
    if (open) {
        rig.verifyFailedAndUsable(status);
    } else {
        QCOMPARE(rig.status(), status);
        QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 10000);
        QVERIFY(!form.session().PortHandle.isOpen());
    }
    if (!flashed.isEmpty()) {
        QVERIFY2(history.texts().contains(flashed), qPrintable(history.texts().join(" | ")));
    }
    QCOMPARE(form.DownloadGauge->barColor() == GaugeColor::Red, red);
    QCOMPARE(rig.report().goReceived, go);
    QCOMPARE(form.session().DownloadOk, go);
    if (go) {
        QCOMPARE(rig.report().violations, std::vector<std::string>{});
    }
    if (request == Request::PortChoice) {
        QCOMPARE(form.session().PortName, QStringLiteral("COM2"));
    }
    verifyImage(rig, image, target, imageBefore);
}

QTEST_MAIN(FaultTest)
#include "test_faults.moc"
