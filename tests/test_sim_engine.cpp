// The simulated bootloader target's engine, driven by a clock the tests control.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "sim/Engine.h"

using namespace zeltra::sim;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Options::Reset)

namespace {

QString hex4(int value) {
    return QString("%1").arg(value, 4, 16, QChar('0')).toUpper();
}

Options listening(Options options = {}) {
    options.reset = Options::Reset::Immediately;
    return options;
}

// A host that sends bytes and then takes everything the target sends, following its clock.
struct Host {
    explicit Host(Options options = listening()) : engine(std::move(options)) {}

    QByteArray send(std::string_view bytes) {
        engine.receive(bytes, now);
        return drain();
    }
    QByteArray command(const QString& text) { return send((text + "\n").toStdString()); }
    void commands(const QStringList& texts) {
        for (const QString& text : texts)
            command(text);
    }
    QByteArray drain() {
        std::string out = engine.transmit(now);
        while (const auto due = engine.nextDue()) {
            now = std::max(now, *due);
            out += engine.transmit(now);
        }
        now += 1ms;
        return QByteArray::fromStdString(out);
    }
    QStringList violations() const {
        QStringList list;
        for (const auto& text : engine.report().violations)
            list << QString::fromStdString(text);
        return list;
    }

    Engine engine;
    Clock::time_point now = Clock::time_point{} + 1h;
};

// Every command of a complete download of one program record and one EEPROM record, as a
// well-behaved host sends them after the first synchronisation; "*" stands for a synchronisation.
QStringList cleanDownload() {
    QStringList texts{"rFFFF", "a1F00", "r1"};
    for (int row = 0; row <= 0x1EE4; row += 32)
        texts << "a" + hex4(row) << "e";
    texts << "a1F00"
          << "w19FF"
          << "w3FFF"
          << "w3FFF"
          << "w3FFF"
          << "a1F00"
          << "r1";
    texts << "*"
          << "rFFFF"
          << "a1F00"
          << "r1";
    texts << "a0010"
          << "w2801"
          << "w0123"
          << "w3FFF"
          << "w3FFF";
    texts << "a0010"
          << "r1"
          << "r1"
          << "r1"
          << "r1";
    texts << "a2100"
          << "w0042"
          << "a2100"
          << "r1";
    texts << "a1F00"
          << "r1";
    texts << "a1F00"
          << "w19CC"
          << "w3FFF"
          << "w3FFF"
          << "w3FFF"
          << "a1F00"
          << "r1";
    texts << "*"
          << "rFFFF"
          << "a1F00"
          << "r1"
          << "g";
    return texts;
}

bool hasViolation(const QStringList& violations, std::string_view kind) {
    const QString prefix = QString::fromLatin1(kind.data(), static_cast<qsizetype>(kind.size()));
    return std::any_of(violations.begin(), violations.end(),
                       [&](const QString& v) { return v.startsWith(prefix); });
}

} // namespace

class SimEngineTest : public QObject {
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void addressStepping_data();
    void addressStepping();
    void blockCommit_data();
    void blockCommit();
    void rowErase_data();
    void rowErase();
    void bootloaderCodeNeverChanges_data();
    void bootloaderCodeNeverChanges();
    void initialMemory_data();
    void initialMemory();
    void eepromBytes_data();
    void eepromBytes();
    void idsAndConfiguration();
    void resetPress_data();
    void resetPress();
    void identificationOptions_data();
    void identificationOptions();
    void dropAck_data();
    void dropAck();
    void ackAndReplyDelays();
    void garbageBeforeAck();
    void replySplitGap();
    void wrongWord();
    void cancellingPair();
    void hangUpAfter();
    void lineModel();
    void violations_data();
    void violations();
    void cleanConversationReportsNone();
    void reportCountsAndJson();
    void intelHexImage();
};

void SimEngineTest::replies_data() {
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("sync") << QStringList{} << QByteArray("*") << QByteArray("i");
    QTest::newRow("identify") << QStringList{} << QByteArray("rFFFF\n") << QByteArray("111F00\n");
    QTest::newRow("address") << QStringList{} << QByteArray("a0100\n") << QByteArray("\n");
    QTest::newRow("write") << QStringList{"a0100"} << QByteArray("w1234\n") << QByteArray("\n");
    QTest::newRow("erase") << QStringList{"a0100"} << QByteArray("e\n") << QByteArray("\n");
    QTest::newRow("read boot-vector word")
        << QStringList{"a1F00"} << QByteArray("r1\n") << QByteArray("19CC\n");
    QTest::newRow("read erased word")
        << QStringList{"a0100", "e", "a0105"} << QByteArray("r1\n") << QByteArray("3FFF\n");
    QTest::newRow("read written word")
        << QStringList{"a0100", "w0ABC", "w3FFF", "w3FFF", "w3FFF", "a0100"} << QByteArray("r1\n")
        << QByteArray("0ABC\n");
    QTest::newRow("read keeps 14 bits")
        << QStringList{"a0100", "wFFFF", "wC123", "w3FFF", "w3FFF", "a0101"} << QByteArray("r1\n")
        << QByteArray("0123\n");
    QTest::newRow("read EEPROM") << QStringList{"a2100"} << QByteArray("r1\n")
                                 << QByteArray("00FF\n");
    QTest::newRow("read ID word") << QStringList{"a2000"} << QByteArray("r1\n")
                                  << QByteArray("3FFF\n");
    QTest::newRow("go") << QStringList{} << QByteArray("g\n") << QByteArray();
    QTest::newRow("no sync answer after go") << QStringList{"g"} << QByteArray("*") << QByteArray();
    QTest::newRow("no identification after go")
        << QStringList{"g"} << QByteArray("rFFFF\n") << QByteArray();
    QTest::newRow("unknown command") << QStringList{} << QByteArray("x\n") << QByteArray();
}

void SimEngineTest::replies() {
    QFETCH(QStringList, setup);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, expected);
    Host host;
    host.commands(setup);
    QCOMPARE(host.send(sent.toStdString()), expected);
}

void SimEngineTest::addressStepping_data() {
    QTest::addColumn<QString>("readFrom");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("from the start") << "0040" << QByteArray("0001\n0002\n0003\n");
    QTest::newRow("across blocks") << "0043" << QByteArray("0004\n0005\n0006\n");
    QTest::newRow("to the end") << "0046" << QByteArray("0007\n0008\n3FFF\n");
}

// Each "w" and each "r1" advances the address by one word.
void SimEngineTest::addressStepping() {
    QFETCH(QString, readFrom);
    QFETCH(QByteArray, expected);
    Host host;
    host.commands({"a0040", "e", "a0040", "w0001", "w0002", "w0003", "w0004", "w0005", "w0006",
                   "w0007", "w0008"});
    for (int i = 0; i < 8; ++i)
        QCOMPARE(host.engine.programWord(static_cast<std::uint16_t>(0x40 + i)), i + 1);
    host.command("a" + readFrom);
    QByteArray replies;
    for (int i = 0; i < 3; ++i)
        replies += host.command("r1");
    QCOMPARE(replies, expected);
}

void SimEngineTest::blockCommit_data() {
    QTest::addColumn<int>("words");
    for (int words = 1; words <= 8; ++words)
        QTest::addRow("%d words", words) << words;
}

// Words are written four at a time, counted from the last "a"; an unfinished block is dropped.
void SimEngineTest::blockCommit() {
    QFETCH(int, words);
    Host host;
    host.command("a0200");
    for (int i = 0; i < words; ++i)
        host.command("w" + hex4(0x1000 + i));
    const int committed = words / 4 * 4;
    for (int i = 0; i < 8; ++i) {
        const auto address = static_cast<std::uint16_t>(0x0200 + i);
        const int expected = i < committed ? 0x1000 + i : 0x2000 | address;
        QCOMPARE(host.engine.programWord(address), expected);
    }
    QVERIFY(host.violations().isEmpty());
    host.command("a0300");
    QCOMPARE(hasViolation(host.violations(), violation::UnfinishedBlock), words % 4 != 0);
    host.command("a0300"); // the dropped words stay dropped
    const auto firstUnwritten = static_cast<std::uint16_t>(0x0200 + committed);
    QCOMPARE(host.engine.programWord(firstUnwritten), 0x2000 | firstUnwritten);
}

void SimEngineTest::rowErase_data() {
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("rowStart");
    QTest::addColumn<bool>("erased");
    QTest::newRow("first row") << "1F00" << 0x0000 << 0x0000 << true;
    QTest::newRow("last word of the first row") << "1F00" << 0x001F << 0x0000 << true;
    QTest::newRow("inside the second row") << "1F00" << 0x0025 << 0x0020 << true;
    QTest::newRow("last row below the boot vector") << "1F00" << 0x1EFF << 0x1EE0 << true;
    QTest::newRow("row of the boot vector 1F00") << "1F00" << 0x1F00 << 0x1F00 << false;
    QTest::newRow("bootloader's last row") << "1F00" << 0x1FE3 << 0x1FE0 << false;
    QTest::newRow("row of the boot vector 1F1C") << "1F1C" << 0x1F05 << 0x1F00 << true;
    QTest::newRow("row after the boot vector 1F1C") << "1F1C" << 0x1F20 << 0x1F20 << false;
    QTest::newRow("top row below boot vector 2000") << "2000" << 0x1FE0 << 0x1FE0 << true;
    QTest::newRow("IDs") << "1F00" << 0x2000 << 0x2000 << false;
}

// "e" erases the 32-word row that holds the address, never a row with bootloader code in it.
void SimEngineTest::rowErase() {
    QFETCH(QString, bootVector);
    QFETCH(int, address);
    QFETCH(int, rowStart);
    QFETCH(bool, erased);
    Options options = listening();
    options.bootVector = bootVector.toStdString();
    Host host(options);
    std::vector<std::uint16_t> before;
    for (int a = rowStart - 1; a <= rowStart + 32; ++a)
        before.push_back(host.engine.programWord(static_cast<std::uint16_t>(a)));
    host.command("a" + hex4(address));
    QCOMPARE(host.command("e"), QByteArray("\n"));
    for (int a = rowStart - 1; a <= rowStart + 32; ++a) {
        const bool inRow = a >= rowStart && a < rowStart + 32;
        const std::uint16_t expected =
            inRow && erased ? 0x3FFF : before[std::size_t(a - rowStart + 1)];
        QCOMPARE(host.engine.programWord(static_cast<std::uint16_t>(a)), expected);
    }
    QCOMPARE(host.violations().isEmpty(), erased);
}

void SimEngineTest::bootloaderCodeNeverChanges_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("refused");
    QTest::newRow("boot-vector block") << "1F00" << false;
    QTest::newRow("block below the boot vector") << "1EFC" << false;
    QTest::newRow("block into the code") << "1F02" << true;
    QTest::newRow("block in the code") << "1F04" << true;
    QTest::newRow("last block") << "1FFC" << true;
}

void SimEngineTest::bootloaderCodeNeverChanges() {
    QFETCH(QString, start);
    QFETCH(bool, refused);
    Host host;
    const auto first = static_cast<std::uint16_t>(start.toUInt(nullptr, 16));
    std::vector<std::uint16_t> before;
    for (int i = 0; i < 4; ++i)
        before.push_back(host.engine.programWord(static_cast<std::uint16_t>(first + i)));
    host.commands({"a" + start, "w0000", "w0001", "w0002", "w0003"});
    for (int i = 0; i < 4; ++i) {
        const auto address = static_cast<std::uint16_t>(first + i);
        const bool code = address >= 0x1F04;
        QCOMPARE(host.engine.programWord(address), code ? before[std::size_t(i)] : i);
    }
    QCOMPARE(hasViolation(host.violations(), violation::BootloaderWrite), refused);
}

void SimEngineTest::initialMemory_data() {
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<int>("vector");
    QTest::newRow("1F00") << "1F00" << 0x1F00;
    QTest::newRow("0800") << "0800" << 0x0800;
    QTest::newRow("1FE0") << "1FE0" << 0x1FE0;
}

// A previous program below the boot vector, a completion-marked boot-vector word, the
// bootloader's code above: nothing reads as erased.
void SimEngineTest::initialMemory() {
    QFETCH(QString, bootVector);
    QFETCH(int, vector);
    Options options = listening();
    options.bootVector = bootVector.toStdString();
    Engine engine(options);
    for (int a = 0; a < 0x2000; ++a) {
        if (a > vector && a < vector + 4)
            continue;
        QVERIFY2(engine.programWord(static_cast<std::uint16_t>(a)) != 0x3FFF,
                 qPrintable(QString::number(a, 16)));
    }
    QCOMPARE(engine.programWord(static_cast<std::uint16_t>(vector)), 0x19CC);
}

void SimEngineTest::eepromBytes_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("byte");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("first") << "2100"
                           << "0034" << 0x34 << QByteArray("0034\n");
    QTest::newRow("high byte dropped") << "2100"
                                       << "1234" << 0x34 << QByteArray("0034\n");
    QTest::newRow("last") << "21FF"
                          << "00CD" << 0xCD << QByteArray("00CD\n");
    QTest::newRow("zero") << "2180"
                          << "0000" << 0x00 << QByteArray("0000\n");
}

// EEPROM "w" stores the low byte at once, with no block; "r1" reads 00 and the byte.
void SimEngineTest::eepromBytes() {
    QFETCH(QString, address);
    QFETCH(QString, word);
    QFETCH(int, byte);
    QFETCH(QByteArray, reply);
    Host host;
    const auto at = static_cast<std::uint16_t>(address.toUInt(nullptr, 16));
    QCOMPARE(host.engine.eepromByte(at), 0xFF);
    QCOMPARE(host.command("a" + address), QByteArray("\n"));
    QCOMPARE(host.command("w" + word), QByteArray("\n"));
    QCOMPARE(host.engine.eepromByte(at), byte);
    host.command("a" + address);
    QCOMPARE(host.command("r1"), reply);
    QCOMPARE(host.engine.eepromByte(static_cast<std::uint16_t>(at ^ 1)), 0xFF);
    host.command("a2000"); // no unfinished block was left behind
    QVERIFY(host.violations().isEmpty());
}

void SimEngineTest::idsAndConfiguration() {
    Host host;
    host.commands({"a2004", "w1111", "w2222", "w3333", "wFFFF", "a2004"});
    QCOMPARE(host.engine.programWord(0x2004), 0x1111);
    QCOMPARE(host.engine.programWord(0x2006), 0x3333);
    QCOMPARE(host.engine.programWord(0x2007), 0x3FFF);
    QCOMPARE(host.command("r1"), QByteArray("1111\n"));
    QCOMPARE(host.command("r1"), QByteArray("2222\n"));
    QVERIFY(host.violations().isEmpty());
}

void SimEngineTest::resetPress_data() {
    QTest::addColumn<Options::Reset>("mode");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("askedAtMs");
    QTest::addColumn<bool>("answered");
    QTest::newRow("first * before the press") << Options::Reset::AfterDelay << 300 << 0 << false;
    QTest::newRow("just before the press") << Options::Reset::AfterDelay << 300 << 299 << false;
    QTest::newRow("at the press") << Options::Reset::AfterDelay << 300 << 300 << true;
    QTest::newRow("after a shorter delay") << Options::Reset::AfterDelay << 50 << 60 << true;
    QTest::newRow("immediately") << Options::Reset::Immediately << 300 << 0 << true;
    QTest::newRow("never") << Options::Reset::Never << 300 << 10000 << false;
}

// The bootloader answers "*" only after RESET; the press comes a set time after the first "*".
void SimEngineTest::resetPress() {
    QFETCH(Options::Reset, mode);
    QFETCH(int, delayMs);
    QFETCH(int, askedAtMs);
    QFETCH(bool, answered);
    Options options;
    options.reset = mode;
    options.resetDelayMs = delayMs;
    Engine engine(options);
    const auto t0 = Clock::time_point{} + 1h;
    engine.receive("*", t0);
    const std::string first = engine.transmit(t0);
    const auto asked = t0 + std::chrono::milliseconds(askedAtMs);
    if (askedAtMs > 0) {
        engine.receive("*", asked);
        QCOMPARE(engine.transmit(asked) == "i", answered);
        QVERIFY(first.empty() || mode == Options::Reset::Immediately);
    } else {
        QCOMPARE(first == "i", answered);
    }
    engine.receive("rFFFF\n", asked);
    QCOMPARE(engine.transmit(asked).empty(), !answered); // commands too need the bootloader
}

void SimEngineTest::identificationOptions_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("defaults") << "11"
                              << "1F00" << QByteArray("111F00\n");
    QTest::newRow("other version") << "10"
                                   << "1F00" << QByteArray("101F00\n");
    QTest::newRow("lower case") << "11"
                                << "1f00" << QByteArray("111f00\n");
    QTest::newRow("above 2000") << "11"
                                << "2001" << QByteArray("112001\n");
    QTest::newRow("not hex") << "11"
                             << "ZZZZ" << QByteArray("11ZZZZ\n");
    QTest::newRow("low") << "11"
                         << "0005" << QByteArray("110005\n");
}

// The boot-vector text comes back from the host as given, in any case, without a violation.
void SimEngineTest::identificationOptions() {
    QFETCH(QString, version);
    QFETCH(QString, bootVector);
    QFETCH(QByteArray, reply);
    Options options = listening();
    options.firmwareVersion = version.toStdString();
    options.bootVector = bootVector.toStdString();
    Host host(options);
    QCOMPARE(host.command("rFFFF"), reply);
    QCOMPARE(host.command("a" + bootVector), QByteArray("\n"));
    QCOMPARE(host.command("r1").size(), 5);
    QVERIFY2(host.violations().isEmpty(), qPrintable(host.violations().join("; ")));
}

void SimEngineTest::dropAck_data() {
    QTest::addColumn<int>("dropped");
    for (int n = 1; n <= 5; ++n)
        QTest::addRow("ack %d", n) << n;
}

// Acknowledgements of "a", "w" and "e" are counted together; only the Nth is missing.
void SimEngineTest::dropAck() {
    QFETCH(int, dropped);
    Options options = listening();
    options.dropAck = dropped;
    Host host(options);
    const QStringList texts{"a0000", "e", "a0000", "w0001", "w0002", "r1", "w0003"};
    int ack = 0;
    for (const QString& text : texts) {
        const QByteArray answer = host.command(text);
        if (text == "r1") {
            QCOMPARE(answer.size(), 5);
            continue;
        }
        QCOMPARE(answer, ++ack == dropped ? QByteArray() : QByteArray("\n"));
    }
}

void SimEngineTest::ackAndReplyDelays() {
    Options options = listening();
    options.ackDelayMs = 40;
    options.replyDelayMs = 70;
    Engine engine(options);
    const auto t0 = Clock::time_point{} + 1h;
    engine.receive("a1F00\n", t0);
    QCOMPARE(engine.nextDue(), t0 + 40ms);
    QCOMPARE(engine.transmit(t0 + 39ms), std::string());
    QCOMPARE(engine.transmit(t0 + 40ms), std::string("\n"));
    const auto t1 = t0 + 50ms;
    engine.receive("r1\n", t1);
    QCOMPARE(engine.transmit(t1 + 69ms), std::string());
    QCOMPARE(engine.transmit(t1 + 70ms), std::string("19CC\n"));
    engine.receive("*", t1 + 80ms); // "i" is neither an acknowledgement nor a reply line
    QCOMPARE(engine.transmit(t1 + 80ms), std::string("i"));
}

void SimEngineTest::garbageBeforeAck() {
    Options options = listening();
    options.garbageBeforeAck = "xy";
    options.ffBeforeAck = 2;
    Host host(options);
    QCOMPARE(host.command("a0000"), QByteArray("xy\xFF\xFF\n"));
    QCOMPARE(host.command("e"), QByteArray("xy\xFF\xFF\n"));
    QCOMPARE(host.command("r1"), QByteArray("3FFF\n"));
}

void SimEngineTest::replySplitGap() {
    Options options = listening();
    options.replySplitGapMs = 15;
    Engine engine(options);
    const auto t0 = Clock::time_point{} + 1h;
    engine.receive("rFFFF\n", t0);
    QCOMPARE(engine.transmit(t0), std::string("111"));
    QCOMPARE(engine.transmit(t0 + 14ms), std::string());
    QCOMPARE(engine.nextDue(), t0 + 15ms);
    QCOMPARE(engine.transmit(t0 + 15ms), std::string("F00\n"));
    const auto t1 = t0 + 20ms;
    engine.receive("a1F00\n", t1);
    QCOMPARE(engine.transmit(t1), std::string("\n")); // acknowledgements are not split
    engine.receive("r1\n", t1 + 1ms);
    QCOMPARE(engine.transmit(t1 + 1ms), std::string("19"));
    QCOMPARE(engine.transmit(t1 + 16ms), std::string("CC\n"));
}

void SimEngineTest::wrongWord() {
    Options options = listening();
    options.wrongWord = std::pair<std::uint16_t, std::uint16_t>{0x0101, 0x1234};
    Host host(options);
    host.command("a0100");
    QCOMPARE(host.command("r1"), QByteArray("2100\n"));
    QCOMPARE(host.command("r1"), QByteArray("1234\n"));
    QCOMPARE(host.command("r1"), QByteArray("2102\n"));
    QCOMPARE(host.engine.programWord(0x0101), 0x2101); // memory itself is right
}

void SimEngineTest::cancellingPair() {
    Options options = listening();
    options.cancellingPair = 0x0005;
    Host host(options);
    host.command("a0004");
    QByteArray replies;
    for (int i = 0; i < 4; ++i)
        replies += host.command("r1");
    QCOMPARE(replies, QByteArray("2004\n2006\n2005\n2007\n")); // the sum is unchanged
}

void SimEngineTest::hangUpAfter() {
    Options options = listening();
    options.hangUpAfter = 3;
    Host host(options);
    QCOMPARE(host.command("rFFFF"), QByteArray("111F00\n"));
    QCOMPARE(host.command("a0000"), QByteArray("\n"));
    QVERIFY(!host.engine.hungUp());
    QCOMPARE(host.command("r1"), QByteArray()); // the line is gone before the answer
    QVERIFY(host.engine.hungUp());
    QCOMPARE(host.send("*"), QByteArray());
    QCOMPARE(host.engine.report().commandLog.size(), std::size_t(3));
    QVERIFY(host.engine.report().hungUp);
}

// 19200 baud at 10 bits a byte both ways, 2 ms for each row erase and block write.
void SimEngineTest::lineModel() {
    Options options = listening();
    options.lineModel = true;
    Engine engine(options);
    const auto byte = Engine::ByteTime;
    auto t = Clock::time_point{} + 1h;
    engine.receive("rFFFF\n", t);
    // The reply's seven bytes take their time on the line; it leaves whole when the last is due.
    QCOMPARE(engine.transmit(t + 6 * byte + 7 * byte - 1ns), std::string());
    QCOMPARE(engine.nextDue(), t + 6 * byte + 7 * byte);
    QCOMPARE(engine.transmit(t + 6 * byte + 7 * byte), std::string("111F00\n"));

    t += 10ms;
    engine.receive("a0000\n", t);
    QCOMPARE(engine.transmit(t + 7 * byte), std::string("\n"));
    t += 10ms;
    engine.receive("e\n", t);
    QCOMPARE(engine.transmit(t + 3 * byte + 2ms - 1ns), std::string());
    QCOMPARE(engine.transmit(t + 3 * byte + 2ms), std::string("\n"));
    t += 10ms;
    engine.receive("a0000\n", t);
    QCOMPARE(engine.transmit(t + 7 * byte), std::string("\n"));
    for (int i = 0; i < 3; ++i) {
        t += 10ms;
        engine.receive("w0001\n", t);
        QCOMPARE(engine.transmit(t + 7 * byte), std::string("\n"));
    }
    t += 10ms;
    engine.receive("w0001\n", t); // the fourth word writes the block
    QCOMPARE(engine.transmit(t + 7 * byte), std::string());
    QCOMPARE(engine.transmit(t + 7 * byte + 2ms), std::string("\n"));

    const Report report = engine.report();
    QCOMPARE(report.bytesIn, std::uint64_t(6 + 6 + 2 + 6 + 4 * 6));
    QCOMPARE(report.bytesOut, std::uint64_t(7 + 7));
    const auto expected = std::chrono::duration_cast<std::chrono::microseconds>(
        byte * (report.bytesIn + report.bytesOut) + 2 * Engine::PartTime);
    QCOMPARE(report.modelledMicros, expected.count());
    QVERIFY(report.violations.empty());
}

void SimEngineTest::violations_data() {
    QTest::addColumn<QString>("bootVector");
    QTest::addColumn<QList<QByteArray>>("sends");
    QTest::addColumn<QString>("kind");
    using L = QList<QByteArray>;
    const auto k = [](std::string_view v) {
        return QString::fromLatin1(v.data(), qsizetype(v.size()));
    };
    QTest::newRow("command before the answer")
        << "1F00" << L{"a0000\nw1234\n"} << k(violation::Overlap);
    QTest::newRow("read before the answer") << "1F00" << L{"a0000\nr1\n"} << k(violation::Overlap);
    QTest::newRow("lower-case address") << "1F00" << L{"a01ff\n"} << k(violation::LowerCase);
    QTest::newRow("lower-case boot vector not as given")
        << "1F00" << L{"a1f00\n"} << k(violation::LowerCase);
    QTest::newRow("lower-case word")
        << "1F00" << L{"a0000\n", "w3fff\n"} << k(violation::LowerCase);
    QTest::newRow("word equal to the boot vector text")
        << "1f00" << L{"a0000\n", "w1f00\n"} << k(violation::LowerCase);
    QTest::newRow("line without LF") << "1F00" << L{"a0000"} << k(violation::NoLineFeed);
    QTest::newRow("line cut by a sync byte") << "1F00" << L{"a00*"} << k(violation::NoLineFeed);
    QTest::newRow("line over 40 characters")
        << "1F00" << L{"w" + QByteArray(40, '0') + "\n"} << k(violation::TooLong);
    QTest::newRow("unfinished block")
        << "1F00" << L{"a0000\n", "w1111\n", "w2222\n", "a0004\n"} << k(violation::UnfinishedBlock);
    QTest::newRow("unfinished block at go")
        << "1F00" << L{"a0000\n", "w1111\n", "g\n"} << k(violation::UnfinishedBlock);
    QTest::newRow("write to bootloader code")
        << "1F00" << L{"a1F10\n", "w0000\n", "w0000\n", "w0000\n", "w0000\n"}
        << k(violation::BootloaderWrite);
    QTest::newRow("erase of bootloader code")
        << "1F00" << L{"a1F20\n", "e\n"} << k(violation::BootloaderErase);
    QTest::newRow("erase of the IDs")
        << "1F00" << L{"a2000\n", "e\n"} << k(violation::EraseOutside);
    QTest::newRow("short address") << "1F00" << L{"a12\n"} << k(violation::Malformed);
    QTest::newRow("not hex") << "1F00" << L{"a0000\n", "wXYZW\n"} << k(violation::Malformed);
    QTest::newRow("carriage return") << "1F00" << L{"a0000\r\n"} << k(violation::Malformed);
    QTest::newRow("unknown") << "1F00" << L{"x\n"} << k(violation::Unknown);
    QTest::newRow("identify in lower case") << "1F00" << L{"rffff\n"} << k(violation::Unknown);
    QTest::newRow("empty line") << "1F00" << L{"\n"} << k(violation::Unknown);
}

void SimEngineTest::violations() {
    QFETCH(QString, bootVector);
    QFETCH(QList<QByteArray>, sends);
    QFETCH(QString, kind);
    Options options = listening();
    options.bootVector = bootVector.toStdString();
    Host host(options);
    for (const QByteArray& bytes : sends)
        host.send(bytes.toStdString());
    const QStringList found = host.violations();
    QCOMPARE(found.size(), 1);
    QVERIFY2(found.first().startsWith(kind), qPrintable(found.first()));
}

void SimEngineTest::cleanConversationReportsNone() {
    Host host(Options{});
    const auto sync = [&host] {
        QByteArray answer;
        for (int i = 0; i < 100 && answer != "i"; ++i) {
            answer = host.send("*");
            host.now += 20ms;
        }
        return answer;
    };
    QCOMPARE(sync(), QByteArray("i"));
    QByteArray last;
    for (const QString& text : cleanDownload())
        last = text == "*" ? sync() : host.command(text);
    QCOMPARE(last, QByteArray());
    const Report report = host.engine.report();
    QVERIFY2(report.violations.empty(), qPrintable(host.violations().join("; ")));
    QVERIFY(report.goReceived);
    QCOMPARE(report.rowErases, 248);
    QCOMPARE(host.engine.programWord(0x1F00), 0x19CC);
    QCOMPARE(host.engine.programWord(0x0010), 0x2801);
    QCOMPARE(host.engine.programWord(0x0011), 0x0123);
    QCOMPARE(host.engine.programWord(0x0000), 0x3FFF);
    QCOMPARE(host.engine.programWord(0x1EFF), 0x3FFF);
    QCOMPARE(host.engine.programWord(0x1F04), 0x2F04); // bootloader untouched
    QCOMPARE(host.engine.eepromByte(0x2100), 0x42);
    QCOMPARE(host.engine.report().commandLog.back(), std::string("g"));
}

void SimEngineTest::reportCountsAndJson() {
    Host host;
    host.send("*");
    host.commands({"rFFFF", "a0000", "e", "a0000", "w0001", "w0002", "w0003", "w0004", "a0000",
                   "r1", "a2100", "w0007", "g"});
    const Report report = host.engine.report();
    QCOMPARE(report.syncBytes, 1);
    QCOMPARE(report.syncAnswers, 1);
    QCOMPARE(report.commandCounts.at("a"), 4);
    QCOMPARE(report.commandCounts.at("w"), 5);
    QCOMPARE(report.commandCounts.at("e"), 1);
    QCOMPARE(report.commandCounts.at("r1"), 1);
    QCOMPARE(report.commandCounts.at("rFFFF"), 1);
    QCOMPARE(report.commandCounts.at("g"), 1);
    QCOMPARE(report.acknowledgements, 10);
    QCOMPARE(report.rowErases, 1);
    QCOMPARE(report.blockWrites, 1);
    QCOMPARE(report.bytesIn, std::uint64_t(1 + 6 + 6 + 2 + 6 + 4 * 6 + 6 + 3 + 6 + 6 + 2));
    QCOMPARE(report.bytesOut, std::uint64_t(1 + 7 + 10 + 5));
    QCOMPARE(report.commandLog.size(), std::size_t(13));

    const QJsonDocument json =
        QJsonDocument::fromJson(QByteArray::fromStdString(host.engine.reportJson()));
    QVERIFY(json.isObject());
    const QJsonObject root = json.object();
    QCOMPARE(root["goReceived"].toBool(), true);
    QVERIFY(root["goAfterMs"].toDouble() > 0);
    QCOMPARE(root["commandCounts"].toObject()["w"].toInt(), 5);
    QCOMPARE(root["violations"].toArray().size(), 0);
    QCOMPARE(root["commandLog"].toArray().at(1).toString(), QString("a0000"));
    QCOMPARE(root["modelledMicros"].toInteger(), report.modelledMicros);
    const QJsonObject memory = root["memory"].toObject();
    QCOMPARE(memory["program"].toArray().size(), 0x2000);
    QCOMPARE(memory["program"].toArray().at(2).toString(), QString("0003"));
    QCOMPARE(memory["config"].toArray().size(), 8);
    QCOMPARE(memory["eeprom"].toArray().size(), 256);
    QCOMPARE(memory["eeprom"].toArray().at(0).toString(), QString("07"));
}

void SimEngineTest::intelHexImage() {
    Host host;
    host.commands({"a0000", "e", "a0000", "w0123", "w0456", "w3FFF", "w3FFF", "a2101", "w00AB"});
    const QStringList lines =
        QString::fromStdString(host.engine.imageAsIntelHex()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QString(":1000000023015604FF3FFF3FFF3FFF3FFF3FFF3FFE"));
    QCOMPARE(lines.last(), QString(":00000001FF"));
    QVERIFY(lines.contains(":100420001022112212221322142215221622172220")); // word 0210
    QVERIFY(lines.contains(":10420000FF00AB00FF00FF00FF00FF00FF00FF000A")); // EEPROM 2100
    for (const QString& line : lines) {
        const QByteArray bytes = QByteArray::fromHex(line.mid(1).toLatin1());
        QCOMPARE(bytes.size(), 5 + bytes.at(0));
        quint8 sum = 0;
        for (char byte : bytes)
            sum = static_cast<quint8>(sum + static_cast<quint8>(byte));
        QCOMPARE(sum, quint8(0));
    }
}

QTEST_GUILESS_MAIN(SimEngineTest)
#include "test_sim_engine.moc"
