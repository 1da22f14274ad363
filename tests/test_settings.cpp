// Start-up and settings: DWNLD.INI beside the executable or the user's own, the Port menu, the
// command line.
#include "app/ErrorHandler.h"
#include "app/Messages.h"
#include "app/SettingsFile.h"
#include "app/StartUp.h"
#include "link/SerialPlatform.h"
#include "sim/PtyTarget.h"
#include "support/CrampedFolder.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/StartedWindow.h"
#include "ui/TDownloadForm.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

const QString Section = QStringLiteral("ZELTRA_IR_DOWNLOAD");
const QString Key = QStringLiteral("PORT");

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString markedItem(const TDownloadForm& form) {
    QString marked;
    for (QAction* item : {form.COM1Item, form.COM2Item, form.COM3Item})
        if (item->isChecked())
            marked += item->objectName();
    return marked;
}

// A system whose COM1 is the simulated target's line.
class TargetOnCom1 : public SerialPlatform {
public:
    explicit TargetOnCom1(QString line) : line_(std::move(line)) { setSerialPlatform(this); }
    ~TargetOnCom1() override { setSerialPlatform(nullptr); }
    QString devicePath(const QString& portName) const override {
        return portName == QStringLiteral("COM1") ? line_ : SerialPlatform::devicePath(portName);
    }

private:
    QString line_;
};

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

    QStringList reports_;
    QTemporaryDir configHome_; // the user's configuration folder, for every case that reaches it
    const QByteArray home_ = qgetenv("HOME");

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        setErrorReporter([this](const QString& message) { reports_ << message; });
    }
    void init() {
        reports_.clear();
        qputenv("XDG_CONFIG_HOME", configHome_.path().toLocal8Bit());
        qputenv("HOME", home_);
    }

    void freshDirectoryCreatesTheFile() {
        StartedWindow started{QStringList{}};
        QVERIFY(!QFile::exists(started.settingsPath()));
        QVERIFY(started.activate());
        TDownloadForm& form = started.form();
        QCOMPARE(form.settingsFile()->path(), started.settingsPath());
        QCOMPARE(HexFiles::readFile(started.settingsPath()),
                 QByteArray("[ZELTRA_IR_DOWNLOAD]\nPORT=COM1\n"));
        QCOMPARE(form.session().PortName, QStringLiteral("COM1"));
        QCOMPARE(markedItem(form), QStringLiteral("COM1Item"));
        QCOMPARE(form.windowTitle(), ApplicationTitle);
        QVERIFY(!form.session().HexFilePresent);
        QVERIFY(reports_.isEmpty());
    }

    // Beside the executable when the file is there or can be created there; otherwise the
    // user's own, created on the first run. A port choice is saved where the file was found.
    void settingsLocation_data() {
        // The executable's folder: a temporary one; one that cannot take a new file, even from
        // root (in the proc file system); one whose file cannot be rewritten (cramped); or the
        // installed program's, shared by every user.
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("beside");  // null: no file beside the executable
        QTest::addColumn<QByteArray>("own");     // null: no file in the user's folder
        QTest::addColumn<QString>("configHome"); // XDG_CONFIG_HOME: absolute, unset or relative
        QTest::addColumn<bool>("usesOwn");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("choiceReported");
        const QByteArray none;
        const QByteArray com2("[ZELTRA_IR_DOWNLOAD]\r\nPORT=COM2\r\n");
        QTest::newRow("writable folder")
            << "temporary" << none << none << "absolute" << false << "COM1" << false;
        QTest::newRow("writable folder, the user's file left alone")
            << "temporary" << none << com2 << "absolute" << false << "COM1" << false;
        QTest::newRow("the file in a folder that cannot be written")
            << "cramped" << com2 << com2 << "absolute" << false << "COM2" << true;
        QTest::newRow("folder that cannot be written")
            << "proc" << none << none << "absolute" << true << "COM1" << false;
        QTest::newRow("the user's file read")
            << "proc" << none << com2 << "absolute" << true << "COM2" << false;
        QTest::newRow("installed program's folder")
            << "installed" << none << none << "absolute" << true << "COM1" << false;
        QTest::newRow("XDG_CONFIG_HOME unset")
            << "proc" << none << none << "unset" << true << "COM1" << false;
        QTest::newRow("XDG_CONFIG_HOME relative")
            << "proc" << none << none << "relative" << true << "COM1" << false;
    }
    void settingsLocation() {
        QFETCH(QString, folder);
        QFETCH(QByteArray, beside);
        QFETCH(QByteArray, own);
        QFETCH(QString, configHome);
        QFETCH(bool, usesOwn);
        QFETCH(bool, choiceReported);
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("bin"));
        const QString exeDir = folder == QLatin1String("temporary") ? bin + QLatin1Char('/')
                               : folder == QLatin1String("proc")    ? QStringLiteral("/proc/")
                               : folder == QLatin1String("installed")
                                   ? QStringLiteral(DWNLD_INSTALLED_BINDIR "/")
                                   : crampedFolder(bin) + QLatin1Char('/');
        QVERIFY(QDir().mkpath(exeDir));
        const QString home = root.filePath(QStringLiteral("home"));
        qputenv("HOME", home.toLocal8Bit());
        if (configHome == QLatin1String("absolute"))
            qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toLocal8Bit());
        else if (configHome == QLatin1String("relative"))
            qputenv("XDG_CONFIG_HOME", "config");
        else
            qunsetenv("XDG_CONFIG_HOME");
        const QString ownPath =
            (configHome == QLatin1String("absolute") ? root.filePath(QStringLiteral("config"))
                                                     : home + QStringLiteral("/.config")) +
            QStringLiteral("/zeltra-ir-downloader/DWNLD.INI");
        const QString besidePath = exeDir + QStringLiteral("DWNLD.INI");
        if (!beside.isNull())
            QVERIFY(writeFile(besidePath, beside));
        if (!own.isNull())
            QVERIFY(QDir().mkpath(QFileInfo(ownPath).path()) && writeFile(ownPath, own));

        const QString executable = exeDir + QStringLiteral("dwnld");
        TDownloadForm form(StartupContext{executable, {executable}});
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitFor([&] { return form.settingsFile() != nullptr; }, 10000));
        const QString used = usesOwn ? ownPath : besidePath;
        const QByteArray found = usesOwn ? own : beside;
        QCOMPARE(form.settingsFile()->path(), used);
        QTEST(form.session().PortName, "port");
        QCOMPARE(HexFiles::readFile(used),
                 found.isNull() ? QByteArray("[ZELTRA_IR_DOWNLOAD]\nPORT=COM1\n") : found);
        QCOMPARE(HexFiles::readFile(usesOwn ? besidePath : ownPath), usesOwn ? beside : own);
        QVERIFY(reports_.isEmpty());

        form.COM3Item->trigger();
        if (choiceReported) {
            QCOMPARE(reports_, QStringList{Message::unableToWrite(used)});
            QCOMPARE(HexFiles::readFile(used), found);
        } else {
            QVERIFY(reports_.isEmpty());
            QCOMPARE(SettingsFile(used).readString(Section, Key, QString()),
                     QStringLiteral("COM3"));
        }
    }

    // A port read from the file is used as written; only the three exact names mark one of the
    // three items (any other port is marked as an item of its own below them).
    void portFromTheFile_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("marked");
        QTest::newRow("COM2") << QByteArray("[ZELTRA_IR_DOWNLOAD]\nPORT=COM2\n") << "COM2"
                              << "COM2Item";
        QTest::newRow("COM3") << QByteArray("[ZELTRA_IR_DOWNLOAD]\nPORT=COM3\n") << "COM3"
                              << "COM3Item";
        QTest::newRow("lower case") << QByteArray("[ZELTRA_IR_DOWNLOAD]\nPORT=com2\n") << "com2"
                                    << "";
        QTest::newRow("COM4") << QByteArray("[ZELTRA_IR_DOWNLOAD]\nPORT=COM4\n") << "COM4"
                              << "";
        QTest::newRow("device path")
            << QByteArray("[ZELTRA_IR_DOWNLOAD]\nPORT=/dev/ttyUSB0\n") << "/dev/ttyUSB0"
            << "";
        QTest::newRow("names in any case, blanks around")
            << QByteArray("[ zeltra_ir_download ]\r\n  port =  COM3  \r\n") << "COM3"
            << "COM3Item";
        QTest::newRow("first section, after others")
            << QByteArray("; settings\n[OTHER]\nPORT=COM3\n\n[ZELTRA_IR_DOWNLOAD]\nSPEED=1\n"
                          "PORT=COM2\n[ZELTRA_IR_DOWNLOAD]\nPORT=COM3\n")
            << "COM2"
            << "COM2Item";
        QTest::newRow("no key") << QByteArray("[ZELTRA_IR_DOWNLOAD]\nSPEED=1\n") << "COM1"
                                << "COM1Item";
        QTest::newRow("key in another section") << QByteArray("[OTHER]\nPORT=COM2\n") << "COM1"
                                                << "COM1Item";
        QTest::newRow("commented out") << QByteArray("[ZELTRA_IR_DOWNLOAD]\n;PORT=COM2\n") << "COM1"
                                       << "COM1Item";
        QTest::newRow("empty file") << QByteArray() << "COM1"
                                    << "COM1Item";
    }
    void portFromTheFile() {
        QFETCH(QByteArray, settings);
        StartedWindow started({}, &settings);
        QVERIFY(started.activate());
        QTEST(started.form().session().PortName, "port");
        QTEST(markedItem(started.form()), "marked");
        QCOMPARE(HexFiles::readFile(started.settingsPath()), settings); // nothing is written
    }

    void portChoice_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("other lines survive")
            << QByteArray("; the downloader's settings\n[OTHER]\nPORT=COM2\nX = 1\n\n"
                          "[ZELTRA_IR_DOWNLOAD]\n; chosen in the Port menu\nPORT = COM2\n"
                          "SPEED=19200\n\n[LAST]\nY=2\n")
            << QByteArray("; the downloader's settings\n[OTHER]\nPORT=COM2\nX = 1\n\n"
                          "[ZELTRA_IR_DOWNLOAD]\n; chosen in the Port menu\nPORT=COM3\n"
                          "SPEED=19200\n\n[LAST]\nY=2\n");
        QTest::newRow("key added to its section")
            << QByteArray("[ZELTRA_IR_DOWNLOAD]\nSPEED=19200\n\n[LAST]\nY=2\n")
            << QByteArray("[ZELTRA_IR_DOWNLOAD]\nSPEED=19200\nPORT=COM3\n\n[LAST]\nY=2\n");
        QTest::newRow("section added") << QByteArray("[OTHER]\nX=1")
                                       << QByteArray("[OTHER]\nX=1\n\n[ZELTRA_IR_DOWNLOAD]\n"
                                                     "PORT=COM3\n");
        QTest::newRow("CR LF kept") << QByteArray("[ZELTRA_IR_DOWNLOAD]\r\nPORT=COM1\r\nA=b\r\n")
                                    << QByteArray("[ZELTRA_IR_DOWNLOAD]\r\nPORT=COM3\r\nA=b\r\n");
    }
    void portChoice() {
        QFETCH(QByteArray, before);
        StartedWindow started({}, &before);
        QVERIFY(started.activate());
        TDownloadForm& form = started.form();
        form.session().CancelRequested = false;
        form.COM3Item->trigger();
        QVERIFY(form.session().CancelRequested);
        QCOMPARE(form.session().PortName, QStringLiteral("COM3"));
        QCOMPARE(markedItem(form), QStringLiteral("COM3Item"));
        QTEST(HexFiles::readFile(started.settingsPath()), "after");
        QVERIFY(reports_.isEmpty());
    }

    void eachItemSavesItsPort_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("port");
        QTest::newRow("COM1") << "COM1Item"
                              << "COM1";
        QTest::newRow("COM2") << "COM2Item"
                              << "COM2";
        QTest::newRow("COM3") << "COM3Item"
                              << "COM3";
    }
    void eachItemSavesItsPort() {
        QFETCH(QString, item);
        QFETCH(QString, port);
        const QByteArray settings("[ZELTRA_IR_DOWNLOAD]\nPORT=/dev/ttyUSB0\n");
        StartedWindow started({}, &settings);
        QVERIFY(started.activate());
        started.form().findChild<QAction*>(item)->trigger();
        QCOMPARE(started.form().session().PortName, port);
        QCOMPARE(markedItem(started.form()), item);
        QCOMPARE(SettingsFile(started.settingsPath()).readString(Section, Key, QString()), port);
    }

    // The settings cannot be written at activation where they belong: reported with that path,
    // and the start goes on with COM1 and the file given.
    void unwritableSettingsStillStartTheDownload_data() {
        QTest::addColumn<bool>("userFolder");
        QTest::newRow("settings path beside the executable is a directory") << false;
        QTest::newRow("the user's folder cannot be made") << true;
    }
    void unwritableSettingsStillStartTheDownload() {
        QFETCH(bool, userFolder);
        QTemporaryDir directory;
        // A missing executable's directory cannot take the file; the user's folder then cannot
        // be made under a plain file.
        const QString exeDir = userFolder ? directory.filePath(QStringLiteral("gone/"))
                                          : directory.path() + QLatin1Char('/');
        const QString configHome = directory.filePath(QStringLiteral("plain-file"));
        QVERIFY(writeFile(configHome, "not a folder"));
        qputenv("XDG_CONFIG_HOME", configHome.toLocal8Bit());
        const QString settingsPath =
            userFolder ? configHome + QStringLiteral("/zeltra-ir-downloader/DWNLD.INI")
                       : exeDir + QStringLiteral("DWNLD.INI");
        if (!userFolder)
            QVERIFY(QDir().mkdir(settingsPath));
        const QString hexFile = directory.filePath(QStringLiteral("blinker.hex"));
        HexFiles::writeFile(hexFile, HexFiles::image(8));
        zeltra::sim::PtyTarget target(DownloadRig::quickTarget());
        const TargetOnCom1 system(QString::fromStdString(target.devicePath()));
        TDownloadForm form(StartupContext{exeDir + QStringLiteral("dwnld"),
                                          {exeDir + QStringLiteral("dwnld"), hexFile}});
        form.show();
        form.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(target.report().goReceived, 60000);
        QCOMPARE(reports_, QStringList{Message::unableToWrite(settingsPath)});
        QCOMPARE(form.windowTitle(), QStringLiteral("blinker.hex"));
        QCOMPARE(form.session().PortName, QStringLiteral("COM1"));
        QCOMPARE(markedItem(form), QStringLiteral("COM1Item"));
        QCOMPARE(form.session().HexFileName, hexFile);
        QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 10000); // closed itself after the success
    }

    // A port choice that cannot be saved keeps the choice itself.
    void unwritablePortChoice() {
        StartedWindow started{QStringList{}};
        QVERIFY(started.activate());
        TDownloadForm& form = started.form();
        QVERIFY(QFile::remove(started.settingsPath()));
        QVERIFY(QDir().mkdir(started.settingsPath()));
        form.session().CancelRequested = false;
        form.COM2Item->trigger();
        QCOMPARE(reports_, QStringList{Message::unableToWrite(started.settingsPath())});
        QVERIFY(form.session().CancelRequested);
        QCOMPARE(form.session().PortName, QStringLiteral("COM2"));
        QCOMPARE(markedItem(form), QStringLiteral("COM2Item"));
    }

    void commandLine_data() {
        QTest::addColumn<QString>("argument"); // relative to the temporary directory
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("present");
        QTest::newRow("existing file") << "blinker.hex" << true << "blinker.hex" << true;
        QTest::newRow("blanks in the path")
            << "my programs/first try.hex" << true << "first try.hex" << true;
        QTest::newRow("missing file") << "missing.hex" << false << "missing.hex" << false;
        QTest::newRow("a directory") << "folder.hex/" << true << "" << false;
    }
    void commandLine() {
        QFETCH(QString, argument);
        QFETCH(bool, create);
        StartedWindow started;
        const QString hexPath = started.path(argument);
        if (create && hexPath.endsWith(QLatin1Char('/')))
            QVERIFY(QDir().mkpath(hexPath));
        else if (create)
            QVERIFY(QDir().mkpath(QFileInfo(hexPath).path()) &&
                    writeFile(hexPath, ":00000001FF\n"));
        // A port that cannot be opened, so that a download started at activation ends at once.
        const QByteArray settings =
            "[ZELTRA_IR_DOWNLOAD]\nPORT=" + started.path(QStringLiteral("no-port")).toUtf8() + "\n";
        QVERIFY(writeFile(started.settingsPath(), settings));
        started.start({hexPath, "second.hex"});
        QVERIFY(started.activate());
        const TDownloadForm& form = started.form();
        QCOMPARE(form.session().HexFileName, hexPath);
        QTEST(form.windowTitle(), "caption");
        QTEST(form.session().HexFilePresent, "present");
        QVERIFY(reports_.isEmpty());
    }

    void exeDir_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("exeDir");
        QTest::newRow("directory") << "/opt/zeltra/dwnld"
                                   << "/opt/zeltra/";
        QTest::newRow("doubled separator") << "/opt/zeltra//dwnld"
                                           << "/opt/zeltra/";
        QTest::newRow("root") << "/dwnld"
                              << "/";
    }
    void exeDir() {
        QFETCH(QString, executable);
        QTEST(executableDirectory(executable), "exeDir");
    }

    void exeDirAndSettingsPathAtActivation() {
        StartedWindow started{QStringList{}};
        QVERIFY(started.activate());
        QCOMPARE(started.form().ExeDir, QFileInfo(started.executable()).path() + QLatin1Char('/'));
        QCOMPARE(started.form().settingsFile()->path(), started.settingsPath());
    }

    void readingWithoutAFile() {
        QTemporaryDir directory;
        SettingsFile missing(directory.filePath(QStringLiteral("DWNLD.INI")));
        QCOMPARE(missing.readString(Section, Key, QStringLiteral("COM1")), QStringLiteral("COM1"));
        SettingsFile unreadable(directory.path()); // a directory
        QCOMPARE(unreadable.readString(Section, Key, QStringLiteral("COM1")),
                 QStringLiteral("COM1"));
    }

    // Two writers at once: every read sees a whole file holding one of the values written.
    void concurrentWritesNeverTearTheFile() {
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("DWNLD.INI"));
        const QString padding(500, QLatin1Char('x'));
        const QStringList values{QStringLiteral("COM1") + padding,
                                 QStringLiteral("COM2") + padding};
        SettingsFile(path).writeString(Section, Key, values[0]);
        std::atomic<int> failures{0};
        auto writer = [&](const QString& value) {
            SettingsFile file(path);
            for (int i = 0; i < 200; ++i) {
                try {
                    file.writeString(Section, Key, value);
                } catch (const DownloaderError&) {
                    ++failures;
                }
            }
        };
        std::thread first(writer, values[0]);
        std::thread second(writer, values[1]);
        int torn = 0;
        for (int i = 0; i < 400; ++i)
            if (!values.contains(SettingsFile(path).readString(Section, Key, QString())))
                ++torn;
        first.join();
        second.join();
        QCOMPARE(torn, 0);
        QCOMPARE(failures.load(), 0);
        QVERIFY(values.contains(SettingsFile(path).readString(Section, Key, QString())));
        QCOMPARE(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("DWNLD.INI")}); // no temporary file left behind
    }
};

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
