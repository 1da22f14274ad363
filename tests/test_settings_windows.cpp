// Start-up on Windows: where the settings are for a copy unpacked anywhere and for an installed
// copy, the settings file's line ends, and the caption of a path in Windows' own notation.
#include "app/ErrorHandler.h"
#include "app/SettingsFile.h"
#include "app/StartUp.h"
#include "support/HexFiles.h"
#include "support/StartedWindow.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

namespace {

// Where this build of the program finds the folder the installer recorded: a key of the tests'
// own (tests/windows.cmake), never an installed program's.
const QString InstallRecord = QStringLiteral(DWNLD_INSTALL_RECORD);

// Deletes the key itself, with all it holds.
void removeKey(const QString& key) {
    const qsizetype parentEnd = key.lastIndexOf(QLatin1Char('\\'));
    QSettings(key.left(parentEnd), QSettings::NativeFormat).remove(key.mid(parentEnd + 1));
}

} // namespace

class SettingsWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        setErrorReporter([](const QString& message) { QFAIL(qPrintable(message)); });
    }
    void cleanup() { removeKey(InstallRecord); }

    // The install folder never gets a settings file: an installed copy keeps the user's own in
    // %LOCALAPPDATA%; a copy unpacked anywhere keeps DWNLD.INI beside dwnld.exe.
    void whereTheSettingsAre_data() {
        QTest::addColumn<bool>("installed");
        QTest::newRow("unpacked copy") << false;
        QTest::newRow("installed copy") << true;
    }
    void whereTheSettingsAre() {
        QFETCH(bool, installed);
        QTemporaryDir localData;
        qputenv("LOCALAPPDATA", QDir::toNativeSeparators(localData.path()).toLocal8Bit());
        StartedWindow started;
        if (installed)
            QSettings(InstallRecord, QSettings::NativeFormat)
                .setValue(QStringLiteral("InstallLocation"),
                          QDir::toNativeSeparators(started.folder()));
        started.start();
        QVERIFY(started.activate());
        const QString own = localData.filePath(QStringLiteral(DWNLD_PRODUCT "/DWNLD.INI"));
        const QString used = installed ? own : started.settingsPath();
        QCOMPARE(started.form().settingsFile()->path(), used);
        QCOMPARE(HexFiles::readFile(used), QByteArray("[ZELTRA_IR_DOWNLOAD]\r\nPORT=COM1\r\n"));
        QCOMPARE(QFile::exists(installed ? started.settingsPath() : own), false);
    }

    void caption_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("caption");
        QTest::newRow("backslashes") << "C:\\my programs\\first try.hex"
                                     << "first try.hex";
        QTest::newRow("slashes") << "Z:/work/blinker.hex"
                                 << "blinker.hex";
        QTest::newRow("mixed") << "\\\\server\\share/boards\\blinker.hex"
                               << "blinker.hex";
    }
    void caption() {
        QFETCH(QString, argument);
        StartedWindow started;
        started.start();
        started.form().takeHexFile(argument);
        QTEST(started.form().windowTitle(), "caption");
        QCOMPARE(started.form().session().HexFileName, argument);
    }

    void exeDir_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("exeDir");
        QTest::newRow("folder") << "C:/Program Files/" DWNLD_PRODUCT "/dwnld.exe"
                                << "C:/Program Files/" DWNLD_PRODUCT "/";
        QTest::newRow("drive root") << "D:/dwnld.exe"
                                    << "D:/";
    }
    void exeDir() {
        QFETCH(QString, executable);
        QTEST(executableDirectory(executable), "exeDir");
    }
};

QTEST_MAIN(SettingsWindowsTest)
#include "test_settings_windows.moc"
