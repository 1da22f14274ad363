// The program as installed: `cmake --install` into a temporary folder holds every file of the
// desktop program and nothing else, the desktop entry and the metainfo validate, the MIME
// package gives HEX files their type, and the installed dwnld, in a folder its user cannot
// write, downloads into the installed zeltra-sim with the user's own settings.
#include "support/HexFiles.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString AppId = QStringLiteral("com.zeltra.irdownloader");

// An installed file, below the prefix, and what it must hold.
struct InstalledFile {
    QString path;
    QByteArrayList holds; // texts it holds (a manual page or changelog once uncompressed)
    int iconSize = 0;     // the icon's width and height
};

QList<InstalledFile> installedFiles() {
    QList<InstalledFile> files{
        {QStringLiteral("bin/dwnld"),
         {"\x7f"
          "ELF"}},
        {QStringLiteral("bin/dwnld-cli"),
         {"\x7f"
          "ELF"}},
        {QStringLiteral("bin/zeltra-sim"),
         {"\x7f"
          "ELF"}},
        {QStringLiteral("share/applications/%1.desktop").arg(AppId),
         {"\nExec=dwnld %f\n", "\nIcon=" + AppId.toUtf8() + "\n", "\nMimeType=text/x-ihex;\n",
          "\nCategories=Development;Electronics;\n"}},
        {QStringLiteral("share/mime/packages/zeltra-ir-downloader.xml"), {"type=\"text/x-ihex\""}},
        {QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId),
         {"<launchable type=\"desktop-id\">" + AppId.toUtf8() + ".desktop</launchable>",
          "<description>", "/docs/download-writing.png</image>",
          "<mediatype>text/x-ihex</mediatype>"}},
        {QStringLiteral("share/man/man1/dwnld.1.gz"),
         {".SH EXIT STATUS", "zeltra\\-ir\\-downloader/DWNLD.INI", "dialout", "/dev/ttyS0"}},
        {QStringLiteral("share/man/man1/dwnld-cli.1.gz"),
         {".SH EXIT STATUS", "\\-\\-reset\\-timeout", "\\-\\-repeat"}},
        {QStringLiteral("share/man/man1/zeltra-sim.1.gz"), {".SH EXIT STATUS", "\\-\\-compare"}},
        {QStringLiteral("share/doc/zeltra-ir-downloader/copyright"), {"Copyright"}},
        {QStringLiteral("share/doc/zeltra-ir-downloader/changelog.gz"),
         {"zeltra-ir-downloader (1.0)"}},
    };
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        files.append({QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId),
                      {},
                      size});
    return files;
}

QByteArray contentsOf(const QString& path) {
    if (path.endsWith(QLatin1String(".gz"))) {
        QProcess gunzip;
        gunzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), path});
        return gunzip.waitForFinished() && gunzip.exitCode() == 0 ? gunzip.readAllStandardOutput()
                                                                  : QByteArray();
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs a program to its end; its exit code, or -1 when it did not run or end.
int run(QProcess& process, const QString& program, const QStringList& arguments) {
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
               ? process.exitCode()
               : -1;
}

} // namespace

class InstallTest : public QObject {
    Q_OBJECT

    QTemporaryDir destDir_;
    QString prefix() const { return destDir_.path() + QStringLiteral("/usr/"); }

    // Root passes every permission check: the installed programs then run as "nobody", to whom
    // the installed folders are as closed as /usr/bin is to a user.
    static bool asRoot() { return geteuid() == 0; }
    static QStringList asUser(const QString& program, const QStringList& arguments) {
        if (!asRoot())
            return QStringList{program} + arguments;
        return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                           QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                           program} +
               arguments;
    }
    // Gives a path of the user's own to that user.
    static bool own(const QString& path) {
        return !asRoot() || chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    }

private slots:
    void initTestCase() {
        QProcess install;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), destDir_.path());
        install.setProcessEnvironment(environment);
        install.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QCOMPARE(run(install, qEnvironmentVariable("CMAKE_COMMAND"),
                     {QStringLiteral("--install"), qEnvironmentVariable("DWNLD_BUILD_DIR"),
                      QStringLiteral("--prefix"), QStringLiteral("/usr")}),
                 0);
        QCOMPARE(chmod(QFile::encodeName(destDir_.path()).constData(), 0755), 0);
    }

    void holdsTheFile_data() {
        QTest::addColumn<QByteArrayList>("holds");
        QTest::addColumn<int>("iconSize");
        for (const InstalledFile& file : installedFiles())
            QTest::newRow(qPrintable(file.path)) << file.holds << file.iconSize;
    }
    void holdsTheFile() {
        QFETCH(QByteArrayList, holds);
        QFETCH(int, iconSize);
        const QString path = prefix() + QString::fromUtf8(QTest::currentDataTag());
        QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
        const QByteArray contents = contentsOf(path);
        for (const QByteArray& text : holds)
            QVERIFY2(contents.contains(text), text.constData());
        if (iconSize > 0)
            QCOMPARE(QImage(path).size(), QSize(iconSize, iconSize));
    }

    void nothingElseIsInstalled() {
        QStringList found;
        for (QDirIterator it(prefix(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            found.append(it.next().mid(prefix().size()));
        QStringList expected;
        for (const InstalledFile& file : installedFiles())
            expected.append(file.path);
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
    }

    void validates_data() {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("desktop entry")
            << QStringList{QStringLiteral("desktop-file-validate"),
                           prefix() + QStringLiteral("share/applications/%1.desktop").arg(AppId)};
        QTest::newRow("metainfo") << QStringList{
            QStringLiteral("appstreamcli"), QStringLiteral("validate"), QStringLiteral("--no-net"),
            prefix() + QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId)};
    }
    void validates() {
        QFETCH(QStringList, command);
        QProcess validator;
        validator.setProcessChannelMode(QProcess::MergedChannels);
        const int status = run(validator, command.first(), command.mid(1));
        const QByteArray report = validator.readAll();
        QVERIFY2(status == 0, report.constData());
        // desktop-file-validate passes warnings; appstreamcli reports its success.
        QVERIFY2(!report.contains("error") && !report.contains("warning"), report.constData());
    }

    // The desktop finds the type by name and, for any other name, by the ":" it starts with.
    void hexFilesHaveTheirType_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("*.hex") << "blink.hex" << QByteArray("anything\n");
        QTest::newRow("*.ihx") << "blink.ihx" << QByteArray("anything\n");
        QTest::newRow("starts with \":\"") << "program" << HexFiles::image(8);
    }
    void hexFilesHaveTheirType() {
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        // Read before the first look-up: the installed MIME package before the system's.
        static const bool dataDirsSet =
            qputenv("XDG_DATA_DIRS", (prefix() + QStringLiteral("share:/usr/share")).toLocal8Bit());
        QVERIFY(dataDirsSet);
        QTemporaryDir directory;
        const QString path = HexFiles::writeFile(directory.filePath(name), contents);
        QCOMPARE(QMimeDatabase().mimeTypeForFile(path).name(), QStringLiteral("text/x-ihex"));
    }

    void installedDownloadWithTheUsersSettings() {
        const QString bin = prefix() + QStringLiteral("bin");
        QTemporaryDir user;
        const QString config = user.filePath(QStringLiteral("config"));
        const QString runtime = user.filePath(QStringLiteral("runtime"));
        const QString settings = config + QStringLiteral("/zeltra-ir-downloader/DWNLD.INI");
        const QString hex = HexFiles::writeFile(user.filePath(QStringLiteral("my program.hex")),
                                                HexFiles::image(64, 8));
        QVERIFY(QDir().mkpath(QFileInfo(settings).path()) && QDir().mkpath(runtime));
        QCOMPARE(chmod(QFile::encodeName(runtime).constData(), 0700), 0);
        for (const QString& path : {user.path(), config, QFileInfo(settings).path(), runtime, hex})
            QVERIFY(own(path));
        if (!asRoot())
            QCOMPARE(chmod(QFile::encodeName(bin).constData(), 0555), 0);
        const auto restore = qScopeGuard([&] { chmod(QFile::encodeName(bin).constData(), 0755); });

        QProcess sim;
        const QStringList simCommand =
            asUser(bin + QStringLiteral("/zeltra-sim"),
                   {QStringLiteral("--exit-after-go"), QStringLiteral("--compare"), hex,
                    QStringLiteral("--report"), user.filePath(QStringLiteral("report.json"))});
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(simCommand.first(), simCommand.mid(1));
        QVERIFY(sim.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 30000);
        const QByteArray port = sim.readLine().trimmed();
        const QByteArray contents = "[ZELTRA_IR_DOWNLOAD]\nPORT=" + port + "\n";
        HexFiles::writeFile(settings, contents);
        QVERIFY(own(settings));

        QProcess dwnld;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("HOME"), user.path());
        // A sanitizer build's leak suppressions must be readable by that user as well.
        static const QRegularExpression suppressions(QStringLiteral("suppressions=([^:]+)"));
        const QString leakOptions = environment.value(QStringLiteral("LSAN_OPTIONS"));
        if (const QRegularExpressionMatch match = suppressions.match(leakOptions);
            asRoot() && match.hasMatch()) {
            const QString copy = user.filePath(QStringLiteral("lsan.supp"));
            QVERIFY(QFile::copy(match.captured(1), copy));
            environment.insert(QStringLiteral("LSAN_OPTIONS"),
                               QString(leakOptions).replace(match.captured(1), copy));
        }
        dwnld.setProcessEnvironment(environment);
        dwnld.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList command = asUser(bin + QStringLiteral("/dwnld"), {hex});
        // The tool closes itself after a successful download.
        QCOMPARE(run(dwnld, command.first(), command.mid(1)), 0);
        QVERIFY(sim.waitForFinished(60000));
        const QByteArray comparison = sim.readAll();
        QVERIFY2(sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 0,
                 comparison.constData()); // the target holds the file and was told to run it
        QVERIFY(!QFile::exists(bin + QStringLiteral("/DWNLD.INI")));
        QCOMPARE(contentsOf(settings), contents);
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "test_install.moc"
