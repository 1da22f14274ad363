// The Port menu's detected ports: listed every time the menu opens from a port list of the
// test's own, saved by their stable names, and the port in use always marked; a network port
// typed into the dialog of "Network Port…", checked as it is typed.
#include "app/ErrorHandler.h"
#include "app/SettingsFile.h"
#include "driver/Messages.h"
#include "link/Messages.h"
#include "link/SerialPlatform.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/ListedPorts.h"
#include "support/PtyPair.h"
#include "support/ScriptedPeer.h"
#include "support/StartedWindow.h"
#include "ui/Messages.h"
#include "ui/NetworkPortDialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <optional>
#include <vector>

namespace {

const QString UsbStable =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZ3Q1-if00-port0");
const DetectedPort Usb{UsbStable, QStringLiteral("/dev/ttyUSB0"),
                       QStringLiteral("FT232R USB UART, FTDI")};
const DetectedPort Acm{QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyACM0"), QString()};
const DetectedPort FixedS0{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS0"), QString()};
const DetectedPort S3{QStringLiteral("/dev/ttyS3"), QStringLiteral("/dev/ttyS3"), QString()};

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

// The end of the menu, below the ports.
const QStringList Tail{"Network Port\u2026", "-", "Find the Cradle"};

QAction* itemCalled(const TDownloadForm& form, const QString& text) {
    for (QAction* item : form.PortSetup->actions())
        if (item->text() == text)
            return item;
    return nullptr;
}

// Chooses an item as the user does: points at it until the menu highlights it, then clicks.
// (From Qt 6.8 on a menu that has just opened does not take the pointer at once: a click sent at
// the moment it appears is dropped, and the menu closes without a choice.)
void choose(TDownloadForm& form, const QString& text) {
    QVERIFY(openPortMenu(form));
    QMenu& menu = *form.PortSetup;
    QAction* item = itemCalled(form, text);
    QVERIFY(item != nullptr);
    const QPoint at = menu.actionGeometry(item).center();
    int moves = 0; // the pointer rests on the item, within a pixel
    QTRY_VERIFY(
        (QTest::mouseMove(&menu, at + QPoint(++moves % 2, 0)), menu.activeAction() == item));
    QTest::mouseClick(&menu, Qt::LeftButton, {}, at);
    QTRY_VERIFY(!menu.isVisible());
}

// Chooses "Network Port…" and gives the dialog it opens, once it is the modal window.
NetworkPortDialog* networkPortDialog(TDownloadForm& form) {
    choose(form, Message::NetworkPortItem);
    const auto dialog = [] {
        return qobject_cast<NetworkPortDialog*>(QApplication::activeModalWidget());
    };
    return QTest::qWaitFor([&] { return dialog() != nullptr; }, 5000) ? dialog() : nullptr;
}

// A port that is not the cradle, listed among those present: silent, answering garbage, echoing,
// held by another program, or a bootloader that is not accepted.
class OtherPort {
public:
    explicit OtherPort(const QString& kind) : kind_(kind) {
        if (kind == "busy")
            holder_.open(path());
        else if (kind != "silent")
            peer_.emplace(pty_, [kind](const QByteArray& unit) -> QByteArray {
                if (kind == "echo")
                    return unit;
                if (unit != "*")
                    return kind == "stranger" && unit == "rFFFF\n" ? "211F00\n" : "";
                return kind == "stranger" ? "i" : "?x";
            });
        if (!peer_)
            peer_.emplace(pty_);
    }
    QString path() const { return pty_.slavePath(); }
    const QString& kind() const { return kind_; }
    // Everything the tool sent that is not "*".
    QByteArray allButRequests() const { return peer_->receivedBytes().replace("*", ""); }
    bool heardNothing() const { return peer_->receivedBytes().isEmpty(); }
    bool isFree() const {
        SerialDevice device;
        return device.open(path()) == SerialDevice::OpenResult::Ok && device.close();
    }

private:
    QString kind_;
    PtyPair pty_;
    std::optional<ScriptedPeer> peer_;
    SerialDevice holder_;
};

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
            << "COM2" << QList<DetectedPort>{} << QStringList{"COM1", "*COM2", "COM3"} + Tail;
        QTest::newRow("adapters present")
            << "COM1" << QList<DetectedPort>{Usb, Acm}
            << QStringList{"*COM1", "COM2", "COM3", "-", usb, "/dev/ttyACM0"} + Tail;
        QTest::newRow("a COMn item is not listed twice")
            << "COM1" << QList<DetectedPort>{FixedS0, S3}
            << QStringList{"*COM1", "COM2", "COM3", "-", "/dev/ttyS3"} + Tail;
        QTest::newRow("stable name marks its device")
            << UsbStable << QList<DetectedPort>{Acm, Usb}
            << fixed + QStringList{"/dev/ttyACM0", "*" + usb} + Tail;
        QTest::newRow("device path marks its device")
            << "/dev/ttyUSB0" << QList<DetectedPort>{Usb} << fixed + QStringList{"*" + usb} + Tail;
        QTest::newRow("COMn beyond three marks its device")
            << "COM4" << QList<DetectedPort>{S3} << fixed + QStringList{"*/dev/ttyS3"} + Tail;
        QTest::newRow("adapter unplugged")
            << UsbStable << QList<DetectedPort>{Acm}
            << fixed + QStringList{"/dev/ttyACM0", "*" + UsbStable + " (not present)"} + Tail;
        QTest::newRow("name written by hand")
            << "/dev/ttyUSB1" << QList<DetectedPort>{}
            << fixed + QStringList{"*/dev/ttyUSB1 (not present)"} + Tail;
        QTest::newRow("name in lower case")
            << "com2" << QList<DetectedPort>{} << fixed + QStringList{"*com2 (not present)"} + Tail;
        QTest::newRow("pseudo-terminal written by hand")
            << "/dev/pts/7" << QList<DetectedPort>{Usb}
            << fixed + QStringList{usb, "*/dev/pts/7"} + Tail;
        QTest::newRow("network port") << "rfc2217://host:4000" << QList<DetectedPort>{Usb}
                                      << fixed + QStringList{usb, "*rfc2217://host:4000"} + Tail;
        QTest::newRow("network port with none present")
            << "socket://[2001:db8::7]:7000" << QList<DetectedPort>{}
            << fixed + QStringList{"*socket://[2001:db8::7]:7000"} + Tail;
        QTest::newRow("network port written wrong by hand")
            << "tcp://h:1" << QList<DetectedPort>{} << fixed + QStringList{"*tcp://h:1"} + Tail;
    }
    void listsThePortsPresent() {
        QFETCH(QString, port);
        ListedPorts ports;
        QFETCH(QList<DetectedPort>, present);
        ports.present = present;
        ports.existing = {QStringLiteral("/dev/pts/7")};
        Window window(port);
        QVERIFY(window.activate());
        QVERIFY(openPortMenu(window.form()));
        QTEST(menuItems(window.form()), "menu");
        QCOMPARE(window.form().session().PortName, port); // used exactly as it stands
    }

    void listsThemAgainEveryTimeItOpens() {
        ListedPorts ports;
        Window window(QStringLiteral("COM1"));
        QVERIFY(window.activate());
        QVERIFY(openPortMenu(window.form()));
        QCOMPARE(menuItems(window.form()), (QStringList{"*COM1", "COM2", "COM3"} + Tail));
        window.form().PortSetup->hide();
        ports.present = {Usb}; // plugged in while the window is open
        const int listings = ports.listings;
        QVERIFY(openPortMenu(window.form()));
        QCOMPARE(ports.listings, listings + 1);
        QCOMPARE(menuItems(window.form()), (QStringList{"*COM1", "COM2", "COM3", "-",
                                                        "/dev/ttyUSB0 (FT232R USB UART, FTDI)"} +
                                            Tail));
        window.form().PortSetup->hide();
        ports.present = {};
        QVERIFY(openPortMenu(window.form()));
        QCOMPARE(menuItems(window.form()), (QStringList{"*COM1", "COM2", "COM3"} + Tail));
    }

    // Chosen like a COMn item: a running download ends at its next poll, the stable name is
    // saved at once and marked.
    void choosingADetectedPortSavesItsStableName() {
        ListedPorts ports;
        ports.present = {Acm, Usb};
        Window window(QStringLiteral("COM2"));
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.session().CancelRequested = false;
        choose(form, QStringLiteral("/dev/ttyUSB0 (FT232R USB UART, FTDI)"));
        QVERIFY(form.session().CancelRequested);
        QCOMPARE(form.session().PortName, UsbStable);
        QCOMPARE(window.savedPort(), UsbStable);
        QCOMPARE(menuItems(form), (QStringList{"COM1", "COM2", "COM3", "-", "/dev/ttyACM0",
                                               "*/dev/ttyUSB0 (FT232R USB UART, FTDI)"} +
                                   Tail));
        choose(form, QStringLiteral("COM3"));
        QCOMPARE(window.savedPort(), QStringLiteral("COM3"));
        QVERIFY(openPortMenu(form));
        QCOMPARE(menuItems(form), (QStringList{"COM1", "COM2", "*COM3", "-", "/dev/ttyACM0",
                                               "/dev/ttyUSB0 (FT232R USB UART, FTDI)"} +
                                   Tail));
    }

    // "Network Port…" asks for a URL and checks it as it is typed: a good one is chosen as a
    // COMn item is (a running download ends at its next poll, the URL is saved as typed and
    // marked); a bad one keeps OK disabled, Enter included, and the dialog says why.
    void choosesANetworkPort_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("good");
        QTest::addColumn<QString>("reason");
        QTest::newRow("rfc2217 with a name") << "rfc2217://Bench-Pi:4000" << true << "";
        QTest::newRow("socket with IPv4, spaces around")
            << "  socket://192.168.7.20:7000 " << true << "";
        QTest::newRow("rfc2217 with IPv6") << "rfc2217://[2001:db8::7]:4000" << true << "";
        QTest::newRow("nothing typed") << "" << false << "";
        QTest::newRow("no scheme")
            << "bench-pi:4000" << false
            << "not a network address: it must begin with rfc2217:// or socket://";
        QTest::newRow("unknown scheme")
            << "tcp://h:1" << false
            << "the scheme \"tcp\" is not known: use rfc2217:// or socket://";
        QTest::newRow("port 0") << "rfc2217://bench-pi:0" << false
                                << "the port 0 is outside 1..65535";
        QTest::newRow("port 70000")
            << "socket://bench-pi:70000" << false << "the port 70000 is outside 1..65535";
        QTest::newRow("missing port")
            << "rfc2217://bench-pi" << false << "the port is missing after the host (HOST:PORT)";
        QTest::newRow("IPv6 without brackets")
            << "rfc2217://2001:db8::7:4000" << false
            << "an IPv6 address must be written in brackets, as in rfc2217://[2001:db8::7]:4000";
    }
    void choosesANetworkPort() {
        QFETCH(QString, typed);
        QFETCH(bool, good);
        ListedPorts ports;
        ports.present = {Usb};
        Window window(QStringLiteral("COM2"));
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.session().CancelRequested = false;
        NetworkPortDialog* dialog = networkPortDialog(form);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->windowTitle(), Message::NetworkPort);
        QCOMPARE(dialog->AddressEdit->text(), QString()); // COM2 is no network port
        QVERIFY(!dialog->AddressEdit->placeholderText().isEmpty());
        QTest::keyClicks(dialog->AddressEdit, typed);
        QCOMPARE(dialog->OkButton->isEnabled(), good);
        QTEST(dialog->ReasonLabel->text(), "reason");
        const QString url = typed.trimmed();
        if (!good) {
            QTest::keyClick(dialog->AddressEdit, Qt::Key_Return);
            QVERIFY(dialog->isVisible());
            dialog->reject();
            QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
            QCOMPARE(window.savedPort(), QStringLiteral("COM2"));
            QVERIFY(!form.session().CancelRequested);
            return;
        }
        QTest::mouseClick(dialog->OkButton, Qt::LeftButton);
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(form.session().CancelRequested);
        QCOMPARE(form.session().PortName, url);
        QCOMPARE(window.savedPort(), url);
        QVERIFY(openPortMenu(form));
        QCOMPARE(menuItems(form), (QStringList{"COM1", "COM2", "COM3", "-",
                                               "/dev/ttyUSB0 (FT232R USB UART, FTDI)", "*" + url} +
                                   Tail));
    }

    // Leaving the dialog without OK changes nothing: Cancel, Escape, or the window closing
    // under it. It opens with the network port in use.
    void leavingTheNetworkPortDialogChangesNothing_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("leave");
        QTest::newRow("Cancel") << "COM2"
                                << ""
                                << "cancel";
        QTest::newRow("Escape") << "rfc2217://host:4000"
                                << "rfc2217://host:4000"
                                << "escape";
        QTest::newRow("the window closes") << "socket://127.0.0.1:7000"
                                           << "socket://127.0.0.1:7000"
                                           << "close";
    }
    void leavingTheNetworkPortDialogChangesNothing() {
        QFETCH(QString, port);
        QFETCH(QString, leave);
        ListedPorts ports;
        Window window(port);
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.session().CancelRequested = false;
        NetworkPortDialog* dialog = networkPortDialog(form);
        QVERIFY(dialog != nullptr);
        QTEST(dialog->AddressEdit->text(), "shown");
        QCOMPARE(dialog->OkButton->isEnabled(), port.contains("://"));
        dialog->AddressEdit->clear();
        QTest::keyClicks(dialog->AddressEdit, QStringLiteral("socket://bench-pi:7001"));
        QVERIFY(dialog->OkButton->isEnabled());
        if (leave == "cancel")
            QTest::mouseClick(
                dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                Qt::LeftButton);
        else if (leave == "escape")
            QTest::keyClick(dialog->AddressEdit, Qt::Key_Escape);
        else
            form.close();
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(!form.session().CancelRequested);
        QCOMPARE(form.session().PortName, port);
        QCOMPARE(window.savedPort(), port);
    }

    // The next download opens the port chosen in the menu.
    void theNextDownloadUsesTheChosenPort() {
        DownloadRig rig;
        const QString cradle = QString::fromStdString(rig.target().devicePath());
        ListedPorts ports;
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

    // Find the Cradle asks every port present with "*" and goes on where the bootloader answers
    // and is accepted; nothing but "*" goes to any other port, and every other port is closed.
    // Without a search only the chosen port hears from the tool.
    void findsTheCradle_data() {
        QTest::addColumn<bool>("search");
        QTest::addColumn<QStringList>("others");
        QTest::addColumn<bool>("cradle");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("tip");
        const QStringList all{"silent", "garbage", "echo", "busy", "stranger"};
        QTest::newRow("found among the others")
            << true << all << true << false << Message::WrittenSuccessfully << "found on ";
        QTest::newRow("no search")
            << false << all << true << false << Message::WrittenSuccessfully << "Find the Cradle";
        QTest::newRow("cancelled while it looks")
            << true << QStringList{"silent", "echo"} << false << true << Message::DownloadCancelled
            << "Looking for the cradle on ";
        QTest::newRow("a bootloader that is not accepted")
            << true << QStringList{"stranger", "garbage"} << false << false
            << Message::DownloadFailed << Message::NoPortLeft;
        QTest::newRow("every port busy") << true << QStringList{"busy"} << false << false
                                         << Message::DownloadFailed << "held by another program";
        QTest::newRow("no port present") << true << QStringList{} << false << false
                                         << Message::DownloadFailed << Message::NoPortPresent;
    }
    void findsTheCradle() {
        QFETCH(bool, search);
        QFETCH(QStringList, others);
        QFETCH(bool, cradle);
        QFETCH(bool, cancel);
        QFETCH(QString, status);
        QFETCH(QString, tip);
        DownloadRig rig;
        const QString target = QString::fromStdString(rig.target().devicePath());
        std::vector<std::unique_ptr<OtherPort>> ports;
        ListedPorts platform;
        for (const QString& kind : others) {
            ports.push_back(std::make_unique<OtherPort>(kind));
            platform.present.append({ports.back()->path(), ports.back()->path(), kind});
        }
        if (cradle)
            platform.present.append({target, target, QStringLiteral("ZELTRA IR cradle")});
        rig.createWindow(HexFiles::image(8));
        if (search) // the settings name a port that is not there
            HexFiles::writeFile(rig.folder() + "/DWNLD.INI",
                                "[ZELTRA_IR_DOWNLOAD]\nPORT=/dev/absent-port\n");
        rig.showAndDownload();
        if (search) {
            if (cancel)
                rig.when([&] { return !ports.front()->heardNothing(); }, // it is looking
                         [&] { rig.form().CancelButton->click(); });
            rig.form().FindCradleItem->trigger();
        }
        QCOMPARE(rig.status(), status);
        QVERIFY2(rig.tipLines().join('\n').contains(tip), qPrintable(rig.tipLines().join('\n')));
        for (const auto& port : ports) {
            const QByteArray heard = port->allButRequests();
            if (!search)
                QVERIFY(port->heardNothing());
            else if (port->kind() == "stranger") // asked who it is once it answered, then left
                QVERIFY(heard == "rFFFF\n" || (cradle && heard.isEmpty()));
            else
                QCOMPARE(heard, QByteArray());
            if (port->kind() != "busy")
                QVERIFY(port->isFree());
        }
        QCOMPARE(rig.report().goReceived, cradle);
        if (search && cradle) {
            QCOMPARE(rig.form().session().PortName, target);
            QCOMPARE(SettingsFile(rig.folder() + "/DWNLD.INI")
                         .readString("ZELTRA_IR_DOWNLOAD", "PORT", QString()),
                     target);
        }
    }

    // The picture of the open Port menu for the documentation, with an adapter plugged in.
    void snapshot() {
        const QString folder = qEnvironmentVariable("DWNLD_SNAPSHOT_DIR");
        if (folder.isEmpty())
            QSKIP("set DWNLD_SNAPSHOT_DIR to save a picture of the open Port menu");
        ListedPorts ports;
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
