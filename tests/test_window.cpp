// The download window: its controls, the status reporting, the Cancel and Close buttons, and
// the Enter and Escape keys.
#include "app/ErrorHandler.h"
#include "app/Messages.h"
#include "app/SettingsFile.h"
#include "device/Messages.h"
#include "driver/HexFileChoice.h"
#include "driver/Messages.h"
#include "link/Messages.h"
#include "link/Protocol.h"
#ifndef Q_OS_WIN
#include "support/PtyPair.h"
#endif
#include "support/StartedWindow.h"
#include "ui/ButtonPictures.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"
#include "ui/TDownloadForm.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

#ifndef Q_OS_WIN
// Opens the window's port on a pseudo-terminal.
bool openPort(TDownloadForm& form, const PtyPair& terminal) {
    return form.session().OpenCom(terminal.slavePath()) && form.session().PortHandle.isOpen();
}
#endif

template <class T> T* child(QObject& parent, const char* name) {
    return parent.findChild<T*>(QLatin1String(name));
}

bool hasColor(const QImage& image, const QColor& color) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color)
                return true;
    return false;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    QStringList reports_;

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        setErrorReporter([this](const QString& message) { reports_ << message; });
        // Write pressed without a file asks for one: no file is chosen here.
        setHexFileChooser([](QWidget*, const QString&) { return QString(); });
    }
    void init() { reports_.clear(); }

    void controlsHaveTheirNames() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QCOMPARE(form.objectName(), QStringLiteral("DownloadForm"));
        QCOMPARE(child<QFrame>(form, "Bevel1"), form.Bevel1);
        QCOMPARE(child<QMenuBar>(form, "MainMenu1"), form.MainMenu1);
        QCOMPARE(child<QMenu>(form, "PortSetup"), form.PortSetup);
        QCOMPARE(child<QAction>(form, "COM1Item"), form.COM1Item);
        QCOMPARE(child<QAction>(form, "COM2Item"), form.COM2Item);
        QCOMPARE(child<QAction>(form, "COM3Item"), form.COM3Item);
        QCOMPARE(child<ProgressGauge>(form, "DownloadGauge"), form.DownloadGauge);
        QCOMPARE(child<QFrame>(form, "Bevel2"), form.Bevel2);
        QCOMPARE(child<QLabel>(form, "Edit2"), form.Edit2);
        QCOMPARE(child<QFrame>(form, "Bevel3"), form.Bevel3);
        QCOMPARE(child<QWidget>(form, "Panel1"), form.Panel1);
        QCOMPARE(child<QPushButton>(form, "WriteButton"), form.WriteButton);
        QCOMPARE(child<QPushButton>(form, "CancelButton"), form.CancelButton);
        QCOMPARE(child<QPushButton>(form, "CloseButton"), form.CloseButton);
    }

    void captionsAndHints() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QCOMPARE(form.windowTitle(), ApplicationTitle);
        QCOMPARE(form.PortSetup->title(), QStringLiteral("Port"));
        QCOMPARE(form.PortSetup->menuAction()->statusTip(),
                 QStringLiteral("Select the Com Port for serial Communication."));
        QCOMPARE(form.COM1Item->text(), QStringLiteral("COM1"));
        QCOMPARE(form.COM2Item->text(), QStringLiteral("COM2"));
        QCOMPARE(form.COM3Item->text(), QStringLiteral("COM3"));
        QCOMPARE(form.COM1Item->statusTip(), QStringLiteral("Select COM port 1."));
        QCOMPARE(form.COM2Item->statusTip(), QStringLiteral("Select COM port 2."));
        QCOMPARE(form.COM3Item->statusTip(), QStringLiteral("Select COM port 3."));
        QCOMPARE(form.Edit2->text(), QStringLiteral("testing"));
        QCOMPARE(form.WriteButton->text(), QStringLiteral("Write"));
        QCOMPARE(form.CancelButton->text(), QStringLiteral("Cancel"));
        QCOMPARE(form.CloseButton->text(), QStringLiteral("&Close"));
        QCOMPARE(form.WriteButton->toolTip(), QStringLiteral("Download Code to the Target PIC"));
        QCOMPARE(form.CancelButton->toolTip(), QStringLiteral("Cancel download to the PIC"));
        QCOMPARE(form.CloseButton->toolTip(), QStringLiteral("Exit the Downloader"));
    }

    void initialState() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(form.WriteButton->isEnabled());
        QVERIFY(form.CancelButton->isEnabled());
        QVERIFY(form.CloseButton->isEnabled());
        QVERIFY(form.COM1Item->isCheckable() && form.COM1Item->isChecked());
        QVERIFY(form.COM2Item->isCheckable() && !form.COM2Item->isChecked());
        QVERIFY(form.COM3Item->isCheckable() && !form.COM3Item->isChecked());
        QVERIFY(form.COM1Item->actionGroup() && form.COM1Item->actionGroup()->isExclusive());
        QCOMPARE(form.COM2Item->actionGroup(), form.COM1Item->actionGroup());
        QCOMPARE(form.COM3Item->actionGroup(), form.COM1Item->actionGroup());
        QCOMPARE(form.DownloadGauge->minimum(), 0);
        QCOMPARE(form.DownloadGauge->maximum(), 100);
        QCOMPARE(form.DownloadGauge->progress(), 0);
        QCOMPARE(form.DownloadGauge->barColor(), GaugeColor::Lime);
        QVERIFY(!form.session().HexFilePresent && !form.session().CancelRequested &&
                !form.session().CloseRequested);
        QVERIFY(!form.session().DownloadOk && !form.session().PortHandle.isOpen());
        QVERIFY(form.ExeDir.isEmpty() && form.session().HexFileName.isEmpty() &&
                form.session().PortName.isEmpty());
    }

    void timers_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::newRow("Timer1") << "Timer1" << 10;
        QTest::newRow("Timeout_Timer") << "Timeout_Timer" << AckTimeoutMs;
    }
    void timers() {
        QFETCH(QString, name);
        const DownloadSession session; // the session's, the window needs none
        auto* timer = session.findChild<QTimer*>(name);
        QCOMPARE(timer, name == "Timer1" ? session.Timer1 : session.Timeout_Timer);
        QTEST(timer->interval(), "interval");
        QVERIFY(timer->isSingleShot());
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        QVERIFY(!timer->isActive());
    }

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("Bevel1") << "Bevel1" << QRect(0, 0, 269, 63);
        QTest::newRow("DownloadGauge") << "DownloadGauge" << QRect(8, 38, 257, 17);
        QTest::newRow("Bevel2") << "Bevel2" << QRect(8, 38, 257, 17);
        QTest::newRow("Edit2") << "Edit2" << QRect(11, 14, 253, 19);
        QTest::newRow("Bevel3") << "Bevel3" << QRect(8, 8, 257, 25);
        QTest::newRow("Panel1") << "Panel1" << QRect(0, 67, 269, 32);
        QTest::newRow("WriteButton") << "WriteButton" << QRect(16, 2, 65, 25);
        QTest::newRow("CancelButton") << "CancelButton" << QRect(104, 2, 65, 25);
        QTest::newRow("CloseButton") << "CloseButton" << QRect(192, 2, 65, 25);
    }
    void geometry() {
        QFETCH(QString, name);
        StartedWindow window{QStringList{}};
        QVERIFY(window.activate());
        auto* control = window.form().findChild<QWidget*>(name);
        QVERIFY(control);
        QTEST(control->geometry(), "rect");
    }

    // The client area below the menu bar is 269 by 99, and the window cannot be resized.
    void windowFrame() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        QWidget* client = form.centralWidget();
        QCOMPARE(client->size(), QSize(269, 99));
        QCOMPARE(client->y(), form.MainMenu1->geometry().bottom() + 1);
        QCOMPARE(form.menuBar(), form.MainMenu1);
        QCOMPARE(form.width(), 269);
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QCOMPARE(form.size(), form.minimumSize());
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
        QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinMaxButtonsHint));
        QVERIFY(!form.windowIcon().isNull());
        // Centred on the screen when first shown.
        const QRect screen = form.screen()->availableGeometry();
        QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 2);
        QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 2);
    }

    void lookOfTheControls() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        for (QWidget* bold :
             {static_cast<QWidget*>(form.Edit2), static_cast<QWidget*>(form.DownloadGauge)}) {
            QVERIFY(bold->font().bold());
            QCOMPARE(bold->font().pointSize(), 8);
        }
        QCOMPARE(form.font().pointSize(), 8);
        QCOMPARE(form.Edit2->alignment(), Qt::AlignCenter);
        QCOMPARE(form.Edit2->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0x80));
        QCOMPARE(form.Edit2->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
        QCOMPARE(form.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
        QCOMPARE(form.Panel1->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
        for (QPushButton* button : {form.WriteButton, form.CancelButton, form.CloseButton}) {
            QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
            QCOMPARE(button->iconSize(), QSize(18, 18));
            const QImage normal = button->icon().pixmap(18, 18, QIcon::Normal).toImage();
            const QImage greyed = button->icon().pixmap(18, 18, QIcon::Disabled).toImage();
            QCOMPARE(normal.size(), QSize(18, 18));
            QCOMPARE(greyed.size(), QSize(18, 18));
            QVERIFY(normal != greyed);
        }
        QVERIFY(form.WriteButton->isDefault());
    }

    // A caption is black, and grey like the greyed picture while its button is disabled. The
    // pictures are taken off, so that only the caption is darker than the button's face.
    void captionGreyedWhenDisabled_data() {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("caption"); // its colour's level (all three channels alike)
        QTest::newRow("enabled") << true << 0x00;
        QTest::newRow("disabled") << false << ButtonPictures::Grey.red();
    }
    void captionGreyedWhenDisabled() {
        QFETCH(bool, enabled);
        QFETCH(int, caption);
        StartedWindow window{QStringList{}};
        for (QPushButton* button :
             {window.form().WriteButton, window.form().CancelButton, window.form().CloseButton}) {
            button->setIcon(QIcon());
            button->setEnabled(enabled);
            const QImage image = button->grab().toImage();
            // The darkest pixel inside the button's frame; anti-aliasing leaves it a few steps
            // off the caption's colour.
            int darkest = 0xFF;
            const QRect face = image.rect().adjusted(4, 4, -4, -4);
            for (int y = face.top(); y <= face.bottom(); ++y)
                for (int x = face.left(); x <= face.right(); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    darkest =
                        std::min(darkest, std::max({pixel.red(), pixel.green(), pixel.blue()}));
                }
            QVERIFY2(qAbs(darkest - caption) <= 0x10,
                     qPrintable(button->objectName() + ": " + QString::number(darkest, 16)));
        }
    }

    void tabOrder() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.WriteButton->setFocus();
        QTRY_VERIFY(form.WriteButton->hasFocus());
        QTest::keyClick(form.WriteButton, Qt::Key_Tab);
        QTRY_VERIFY(form.CancelButton->hasFocus());
        QTest::keyClick(form.CancelButton, Qt::Key_Tab);
        QTRY_VERIFY(form.CloseButton->hasFocus());
    }

    void displayMessageShowsText() {
        StartedWindow window{QStringList{}};
        window.form().DISPLAY_MESSAGE(Message::PressReset);
        QCOMPARE(window.form().Edit2->text(), Message::PressReset);
        window.form().DISPLAY_MESSAGE(QString());
        QCOMPARE(window.form().Edit2->text(), QString());
    }

    // A failure re-enables the buttons, clears the outcome and turns the bar red at its length;
    // of two failures the second stays on the status line.
    void doErrorReportsFailure() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        form.WriteButton->setEnabled(false);
        form.CancelButton->setEnabled(false);
        form.CloseButton->setEnabled(false);
        form.session().DownloadOk = true;
        form.DownloadGauge->setMaximum(250);
        form.DownloadGauge->setProgress(120);
        form.DO_ERROR(Message::InvalidHexFile);
        form.DO_ERROR(Message::DownloadFailed);
        QCOMPARE(form.Edit2->text(), Message::DownloadFailed);
        QVERIFY(form.WriteButton->isEnabled());
        QVERIFY(form.CancelButton->isEnabled());
        QVERIFY(form.CloseButton->isEnabled());
        QVERIFY(!form.session().DownloadOk);
        QCOMPARE(form.DownloadGauge->barColor(), GaugeColor::Red);
        QCOMPARE(form.DownloadGauge->progress(), 120);
        QVERIFY(!form.session().PortHandle.isOpen());
    }

    void cancelWithNoDownload() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.DO_ERROR(Message::DownloadFailed);
        form.DownloadGauge->setProgress(60);
        form.session().DownloadOk = true;
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
        QCOMPARE(form.Edit2->text(), QString());
        QVERIFY(form.session().CancelRequested);
        QVERIFY(!form.session().DownloadOk);
        QCOMPARE(form.DownloadGauge->progress(), 0);
        QCOMPARE(form.DownloadGauge->percentDone(), 0);
        QCOMPARE(form.DownloadGauge->barColor(), GaugeColor::Lime);
        const QImage gauge = form.DownloadGauge->grab().toImage();
        QVERIFY(!hasColor(gauge, GaugeColor::Lime));
        QVERIFY(!hasColor(gauge, GaugeColor::Red));
        QVERIFY(hasColor(gauge, Qt::black)); // "0%" over the empty white gauge
        QVERIFY(form.isVisible());
        QVERIFY(reports_.isEmpty());
    }

    void closeClosesPortAndWindow() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.WriteButton->setEnabled(false);
        form.CancelButton->setEnabled(false);
        QTest::mouseClick(form.CloseButton, Qt::LeftButton);
        QVERIFY(form.session().CloseRequested);
        QVERIFY(form.WriteButton->isEnabled());
        QVERIFY(form.CancelButton->isEnabled());
        QVERIFY(!form.session().PortHandle.isOpen());
        QTRY_VERIFY(!form.isVisible());
    }

#ifndef Q_OS_WIN // a pseudo-terminal; the Windows suite has its own test on COM1
    void closeAndFailureCloseTheOpenPort_data() {
        QTest::addColumn<bool>("close");
        QTest::newRow("Close") << true;
        QTest::newRow("DO_ERROR") << false;
    }
    void closeAndFailureCloseTheOpenPort() {
        QFETCH(bool, close);
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        PtyPair terminal;
        if (!openPort(form, terminal))
            QSKIP("the serial port cannot be opened on a pseudo-terminal in this build");
        if (close)
            QTest::mouseClick(form.CloseButton, Qt::LeftButton);
        else
            form.DO_ERROR(Message::DownloadFailed);
        QVERIFY(!form.session().PortHandle.isOpen());
        QCOMPARE(form.isVisible(), !close);
    }
#endif

    void closeAccessKey() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!form.isVisible());
        QVERIFY(form.session().CloseRequested);
    }

    void escapePressesCancel() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.DISPLAY_MESSAGE(Message::PressReset);
        QTest::keyClick(form.WriteButton, Qt::Key_Escape); // passed on by the focused button
        QCOMPARE(form.Edit2->text(), QString());
        QVERIFY(form.session().CancelRequested);
    }

    void escapeIgnoredWhileCancelDisabled() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.DISPLAY_MESSAGE(Message::Erasing);
        form.CancelButton->setEnabled(false);
        QTest::keyClick(&form, Qt::Key_Escape);
        QCOMPARE(form.Edit2->text(), Message::Erasing);
        QVERIFY(!form.session().CancelRequested);
    }

    void enterPressesWrite_data() {
        QTest::addColumn<QString>("target"); // where the key goes: the focused widget
        QTest::addColumn<bool>("writeEnabled");
        QTest::addColumn<int>("writeClicks");
        QTest::addColumn<int>("cancelClicks");
        QTest::newRow("no button focused") << "DownloadForm" << true << 1 << 0;
        QTest::newRow("Write focused") << "WriteButton" << true << 1 << 0;
        QTest::newRow("Cancel focused") << "CancelButton" << true << 0 << 1;
        QTest::newRow("Write disabled") << "DownloadForm" << false << 0 << 0;
    }
    void enterPressesWrite() {
        QFETCH(QString, target);
        QFETCH(bool, writeEnabled);
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.WriteButton->setEnabled(writeEnabled);
        QSignalSpy writes(form.WriteButton, &QPushButton::clicked);
        QSignalSpy cancels(form.CancelButton, &QPushButton::clicked);
        QWidget* receiver = target == form.objectName() ? &form : form.findChild<QWidget*>(target);
        QVERIFY(receiver);
        QTest::keyClick(receiver, Qt::Key_Return);
        QTest::keyClick(receiver, Qt::Key_Enter, Qt::KeypadModifier);
        QFETCH(int, writeClicks);
        QFETCH(int, cancelClicks);
        QCOMPARE(writes.count(), 2 * writeClicks);
        QCOMPARE(cancels.count(), 2 * cancelClicks);
    }

    // A text too long for the status line is shown elided in the middle; the whole text is the
    // first line of the tool tip, followed by the detail of a report.
    void longTextIsElidedInTheMiddle_data() {
        QTest::addColumn<QString>("portName"); // the port that would not open, or none
        QTest::addColumn<QString>("text");     // shown by DISPLAY_MESSAGE when there is no port
        QTest::addColumn<int>("tipLines");
        const QString byId =
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZ3Q1-if00-port0");
        QTest::newRow("port that would not open") << byId << QString() << 2;
        QTest::newRow("progress text") << QString() << "Using " + byId << 1;
        QTest::newRow("text that fits") << QString() << Message::PressReset << 0;
    }
    void longTextIsElidedInTheMiddle() {
        QFETCH(QString, portName);
        QFETCH(QString, text);
        QFETCH(int, tipLines);
        TDownloadForm form;
        if (portName.isEmpty()) {
            form.DISPLAY_MESSAGE(text);
        } else {
            QVERIFY(!form.session().OpenCom(portName));
            text = Message::openFailure(SerialDevice::OpenResult::OpenFailed, portName);
        }
        QCOMPARE(form.Edit2->text(), text);
        const QString shown = form.Edit2->shownText();
        QVERIFY(form.Edit2->fontMetrics().horizontalAdvance(shown) <=
                form.Edit2->contentsRect().width());
        const QStringList tip = form.Edit2->toolTip().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(tip.size(), tipLines);
        if (tipLines == 0) {
            QCOMPARE(shown, text);
            return;
        }
        const QStringList ends = shown.split(QChar(0x2026));
        QCOMPARE(ends.size(), 2);
        // The words before the long path stay whole.
        QVERIFY2(text.startsWith(ends[0]) && ends[0].contains(" /dev/"), qPrintable(shown));
        QVERIFY2(text.endsWith(ends[1]) && ends[1].size() > 5, qPrintable(shown));
        QCOMPARE(tip[0], text);
    }

    // The start-up sequence runs on the first activation only.
    void activationRunsOnce() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        QCOMPARE(form.ExeDir, window.folder() + QLatin1Char('/'));
        form.setWindowTitle(QStringLiteral("changed"));
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&form, &activate);
        QCOMPARE(form.windowTitle(), QStringLiteral("changed"));
    }

    // An error raised in a handler ends that handler only: the download that pumped it goes on.
    void errorInNestedHandlerIsReported() {
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        QVERIFY(QFile::remove(form.settingsFile()->path()));
        QVERIFY(QDir().mkdir(form.settingsFile()->path())); // the port choice cannot be saved
        form.session().CancelRequested = false;
        QTimer::singleShot(0, form.COM3Item, &QAction::trigger);
        int polls = 0;
        while (!form.session().CancelRequested && polls < 100000) { // a download's waiting loop
            form.DISPLAY_MESSAGE(Message::PressReset);
            ++polls;
        }
        QVERIFY(form.session().CancelRequested);
        QCOMPARE(form.session().PortName, QStringLiteral("COM3"));
        QVERIFY(form.COM3Item->isChecked());
        QCOMPARE(reports_, QStringList{Message::unableToWrite(form.settingsFile()->path())});
        form.DISPLAY_MESSAGE(Message::DownloadCancelled); // the loop's caller goes on
        QCOMPARE(form.Edit2->text(), Message::DownloadCancelled);
    }

    // The picture of the window for the documentation, taken while a download writes.
    void snapshot() {
        const QString folder = qEnvironmentVariable("DWNLD_SNAPSHOT_DIR");
        if (folder.isEmpty())
            QSKIP("set DWNLD_SNAPSHOT_DIR to save a picture of the window");
        StartedWindow window{QStringList{}};
        TDownloadForm& form = window.form();
        QVERIFY(window.activate());
        form.setWindowTitle(QStringLiteral("blinker.hex"));
        form.DownloadGauge->setBarColor(GaugeColor::Lime);
        form.DownloadGauge->setMaximum(250);
        form.DownloadGauge->setProgress(125);
        form.DISPLAY_MESSAGE(Message::Writing);
        form.WriteButton->setEnabled(false);
        QVERIFY(form.grab().save(QDir(folder).filePath(QStringLiteral("window.png"))));
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
