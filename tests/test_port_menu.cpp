// The Port menu's detected ports: listed every time the menu opens from a port list of the
// test's own, saved by their stable names, and the port in use always marked.
#include "app/ErrorHandler.h"
#include "app/SettingsFile.h"
#include "driver/Messages.h"
#include "link/Messages.h"
#include "link/SerialPlatform.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/StartedWindow.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

namespace {

const QString UsbStable =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZ3Q1-if00-port0");
const DetectedPort Usb{UsbStable, QStringLiteral("/dev/ttyUSB0"),
                       QStringLiteral("FT232R USB UART, FTDI")};
const DetectedPort Acm{QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyACM0"), QString()};
const DetectedPort FixedS0{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS0"), QString()};
const DetectedPort S3{QStringLiteral("/dev/ttyS3"), QStringLiteral("/dev/ttyS3"), QString()};

// The serial ports the system reports, as the test says; every device is absent unless named in
// `existing`.
class Ports : public SerialPlatform {
public:
    Ports() { setSerialPlatform(this); }
    ~Ports() override { setSerialPlatform(nullptr); }
    QList<DetectedPort> detectedPorts() const override {
        ++listings;
        return present;
    }
    bool deviceExists(const QString& portName) const override {
        return existing.contains(portName);
    }

    QList<DetectedPort> present;
    QStringList existing;
    mutable int listings = 0;
};

// A window started from a folder whose DWNLD.INI names `port`.
class Window : public StartedWindow {
public:
    explicit Window(const QString& port) {
        HexFiles::writeFile(settingsPath(), "[ZELTRA_IR_DOWNLOAD]\nPORT=" + port.toUtf8() + "\n");
        start();
    }
    QString savedPort() const {
        return SettingsFile(settingsPath())
            .readString(QStringLiteral("ZELTRA_IR_DOWNLOAD"), QStringLiteral("PORT"), QString());
    }
};

// Opens the Port menu as the user does, with a click on the menu bar.
bool openPortMenu(TDownloadForm& form) {
    QTest::mouseClick(form.MainMenu1, Qt::LeftButton, {},
                      form.MainMenu1->actionGeometry(form.PortSetup->menuAction()).center());
    return QTest::qWaitFor([&] { return form.PortSetup->isVisible(); }, 5000);
}

// The menu's items in order: "-" for a separator, "*" before the marked item.
QStringList menuItems(const TDownloadForm& form) {
    QStringList items;
    for (const QAction* item : form.PortSetup->actions())
        items << (item->isSeparator()
                      ? QStringLiteral("-")
                      : (item->isChecked() ? QStringLiteral("*") : QString()) + item->text());
    return items;
}

QAction* itemCalled(const TDownloadForm& form, const QString& text) {
    for (QAction* item : form.PortSetup->actions())
        if (item->text() == text)
            return item;
    return nullptr;
}

void choose(TDownloadForm& form, const QString& text) {
    QVERIFY(openPortMenu(form));
    QAction* item = itemCalled(form, text);
    QVERIFY(item != nullptr);
    QTest::mouseClick(form.PortSetup, Qt::LeftButton, {},
                      form.PortSetup->actionGeometry(item).center());
    QTRY_VERIFY(!form.PortSetup->isVisible());
}

} // namespace

Q_DECLARE_METATYPE(DetectedPort)

class PortMenuTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    // No test here expects a message box: one that would open fails the test.
    void init() {
        setErrorReporter([](const QString& message) { QFAIL(qPrintable(message)); });
    }

    void listsThePortsPresent_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QList<DetectedPort>>("present");
        QTest::addColumn<QStringList>("menu");
        const QStringList fixed{"COM1", "COM2", "COM3", "-"};
        const QString usb = "/dev/ttyUSB0 (FT232R USB UART, FTDI)";
        QTest::newRow("none present")
            << "COM2" << QList<DetectedPort>{} << QStringList{"COM1", "*COM2", "COM3"};
        QTest::newRow("adapters present")
            << "COM1" << QList<DetectedPort>{Usb, Acm}
            << QStringList{"*COM1", "COM2", "COM3", "-", usb, "/dev/ttyACM0"};
        QTest::newRow("a COMn item is not listed twice")
            << "COM1" << QList<DetectedPort>{FixedS0, S3}
            << QStringList{"*COM1", "COM2", "COM3", "-", "/dev/ttyS3"};
        QTest::newRow("stable name marks its device")
            << UsbStable << QList<DetectedPort>{Acm, Usb}
            << fixed + QStringList{"/dev/ttyACM0", "*" + usb};
        QTest::newRow("device path marks its device")
            << "/dev/ttyUSB0" << QList<DetectedPort>{Usb} << fixed + QStringList{"*" + usb};
        QTest::newRow("COMn beyond three marks its device")
            << "COM4" << QList<DetectedPort>{S3} << fixed + QStringList{"*/dev/ttyS3"};
        QTest::newRow("adapter unplugged")
            << UsbStable << QList<DetectedPort>{Acm}
            << fixed + QStringList{"/dev/ttyACM0", "*" + UsbStable + " (not present)"};
        QTest::newRow("name written by hand") << "/dev/ttyUSB1" << QList<DetectedPort>{}
                                              << fixed + QStringList{"*/dev/ttyUSB1 (not present)"};
        QTest::newRow("name in lower case")
            << "com2" << QList<DetectedPort>{} << fixed + QStringList{"*com2 (not present)"};
        QTest::newRow("pseudo-terminal written by hand")
            << "/dev/pts/7" << QList<DetectedPort>{Usb} << fixed + QStringList{usb, "*/dev/pts/7"};
    }
    void listsThePortsPresent() {
        QFETCH(QString, port);
        Ports ports;
        QFETCH(QList<DetectedPort>, present);
        ports.present = present;
        ports.existing = {QStringLiteral("/dev/pts/7")};
        Window window(port);
        QVERIFY(window.activate());
        QVERIFY(openPortMenu(window.form()));
        QTEST(menuItems(window.form()), "menu");
        QCOMPARE(window.form().PortName, port); // used exactly as it stands
    }

    void listsThemAgainEveryTimeItOpens() {
        Ports ports;
        Window window(QStringLiteral("COM1"));
        QVERIFY(window.activate());
        QVERIFY(openPortMenu(window.form()));
        QCOMPARE(menuItems(window.form()), (QStringList{"*COM1", "COM2", "COM3"}));
        window.form().PortSetup->hide();
        ports.present = {Usb}; // plugged in while the window is open
        const int listings = ports.listings;
        QVERIFY(openPortMenu(window.form()));
        QCOMPARE(ports.listings, listings + 1);
        QCOMPARE(menuItems(window.form()), (QStringList{"*COM1", "COM2", "COM3", "-",
                                                        "/dev/ttyUSB0 (FT232R USB UART, FTDI)"}));
        window.form().PortSetup->hide();
        ports.present = {};
        QVERIFY(openPortMenu(window.form()));
        QCOMPARE(menuItems(window.form()), (QStringList{"*COM1", "COM2", "COM3"}));
    }

    // Chosen like a COMn item: a running download ends at its next poll, the stable name is
    // saved at once and marked.
    void choosingADetectedPortSavesItsStableName() {
        Ports ports;
        ports.present = {Acm, Usb};
        Window window(QStringLiteral("COM2"));
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.CancelRequested = false;
        choose(form, QStringLiteral("/dev/ttyUSB0 (FT232R USB UART, FTDI)"));
        QVERIFY(form.CancelRequested);
        QCOMPARE(form.PortName, UsbStable);
        QCOMPARE(window.savedPort(), UsbStable);
        QCOMPARE(menuItems(form), (QStringList{"COM1", "COM2", "COM3", "-", "/dev/ttyACM0",
                                               "*/dev/ttyUSB0 (FT232R USB UART, FTDI)"}));
        choose(form, QStringLiteral("COM3"));
        QCOMPARE(window.savedPort(), QStringLiteral("COM3"));
        QVERIFY(openPortMenu(form));
        QCOMPARE(menuItems(form), (QStringList{"COM1", "COM2", "*COM3", "-", "/dev/ttyACM0",
                                               "/dev/ttyUSB0 (FT232R USB UART, FTDI)"}));
    }

    // The next download opens the port chosen in the menu.
    void theNextDownloadUsesTheChosenPort() {
        DownloadRig rig;
        const QString cradle = QString::fromStdString(rig.target().devicePath());
        Ports ports;
        ports.present = {{cradle, cradle, QStringLiteral("ZELTRA IR cradle")}};
        rig.createWindow(HexFiles::image(8));
        HexFiles::writeFile(rig.folder() + "/DWNLD.INI",
                            "[ZELTRA_IR_DOWNLOAD]\nPORT=/dev/absent-port\n");
        rig.showAndDownload();
        QCOMPARE(rig.status(),
                 Message::openFailure(SerialDevice::OpenResult::OpenFailed, "/dev/absent-port"));
        choose(rig.form(), cradle + QStringLiteral(" (ZELTRA IR cradle)"));
        QTest::mouseClick(rig.form().WriteButton, Qt::LeftButton);
        QCOMPARE(rig.status(), Message::WrittenSuccessfully);
        QVERIFY(rig.report().goReceived);
    }

    // The picture of the open Port menu for the documentation, with an adapter plugged in.
    void snapshot() {
        const QString folder = qEnvironmentVariable("DWNLD_SNAPSHOT_DIR");
        if (folder.isEmpty())
            QSKIP("set DWNLD_SNAPSHOT_DIR to save a picture of the open Port menu");
        Ports ports;
        ports.present = {Usb, Acm};
        Window window(UsbStable);
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.setWindowTitle(QStringLiteral("blinker.hex"));
        form.DISPLAY_MESSAGE(QString());
        QVERIFY(openPortMenu(form));
        // The menu is a window of its own: paint both, as they lie on the screen.
        const QPixmap windowPicture = form.grab();
        const QPixmap menuPicture = form.PortSetup->grab();
        const QPoint windowAt = form.mapToGlobal(QPoint(0, 0));
        const QRect area = QRect(windowAt, windowPicture.size())
                               .united(QRect(form.PortSetup->pos(), menuPicture.size()));
        QImage picture(area.size(), QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.drawPixmap(windowAt - area.topLeft(), windowPicture);
        painter.drawPixmap(form.PortSetup->pos() - area.topLeft(), menuPicture);
        painter.end();
        QVERIFY(picture.save(QDir(folder).filePath(QStringLiteral("port-menu.png"))));
    }
};

QTEST_MAIN(PortMenuTest)
#include "test_port_menu.moc"
