#include "ui/TDownloadForm.h"

#include "app/ErrorHandler.h"
#include "app/Messages.h"
#include "app/SettingsFile.h"
#include "link/Commands.h"
#include "link/Messages.h"
#include "ui/ButtonPictures.h"
#include "ui/PortMenu.h"
#include "ui/ProgressGauge.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <utility>

namespace {

const QColor Silver(0xC0, 0xC0, 0xC0);
const QColor Navy(0x00, 0x00, 0x80);

constexpr int ClientWidth = 269;
constexpr int ClientHeight = 99;

// The window's font: 8-point sans serif, bold where the controls ask for it.
QFont windowFont(bool bold) {
    QFont font(QStringLiteral("Sans Serif"), 8, bold ? QFont::Bold : QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The colours of a control; disabled, its text is grey like its greyed picture.
void setColors(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, ButtonPictures::Grey);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, ButtonPictures::Grey);
    widget->setPalette(palette);
}

// Runs one of the window's event handlers, inside the guard, whenever the control signals; the
// control is the handler's sender.
template <class Control, class Signal>
void connectHandler(TDownloadForm* form, Control* control, Signal signal,
                    void (TDownloadForm::*handler)(QObject*)) {
    QObject::connect(control, signal, form,
                     [form, control, handler] { guarded([&] { (form->*handler)(control); }); });
}

// A bevel: a frame drawn over whatever lies beneath it, transparent inside and to the mouse.
QFrame* makeBevel(QWidget* parent, const char* name, const QRect& geometry, int shape) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QLatin1String(name));
    bevel->setGeometry(geometry);
    bevel->setFrameStyle(shape);
    bevel->setLineWidth(1);
    bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
    return bevel;
}

QAction* makePortItem(QMenu* menu, QActionGroup* group, const char* name, int number) {
    auto* item = menu->addAction(ComName::of(number));
    item->setObjectName(QLatin1String(name));
    item->setStatusTip(QStringLiteral("Select COM port %1.").arg(number));
    item->setCheckable(true);
    group->addAction(item);
    return item;
}

// Gives the keyboard focus to a button that becomes enabled while no control has it, so that a
// control always shows the focus: the buttons lose it one by one while a download runs.
class FocusOnEnable : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) {
            auto* button = static_cast<QWidget*>(watched);
            const QWidget* focused = button->window()->focusWidget();
            if (button->isEnabled() && (focused == nullptr || !focused->isEnabled()))
                button->setFocus(Qt::OtherFocusReason);
        }
        return false;
    }
};

QPushButton* makeButton(QWidget* panel, const char* name, const QString& caption,
                        const QString& hint, const QIcon& picture, int left) {
    auto* button = new QPushButton(picture, caption, panel);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 2, 65, 25);
    button->setIconSize(QSize(ButtonPictures::Size, ButtonPictures::Size));
    button->setToolTip(hint);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoDefault(true); // Enter presses the button that has the keyboard focus
    return button;
}

} // namespace

TDownloadForm::TDownloadForm(StartupContext context, QWidget* parent)
    : QMainWindow(parent), context_(std::move(context)) {
    setObjectName(QStringLiteral("DownloadForm"));
    setWindowTitle(ApplicationTitle);
    setWindowIcon(ButtonPictures::windowIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(windowFont(false));
    setColors(this, Silver, Qt::black);
    setAcceptDrops(true); // a HEX file dropped onto the window is written
    // The control with the keyboard focus always shows it, not only once Tab has been pressed.
    setAttribute(Qt::WA_KeyboardFocusChange);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    Bevel1 =
        makeBevel(client, "Bevel1", QRect(0, 0, ClientWidth, 63), QFrame::Box | QFrame::Sunken);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);
    PortSetup = MainMenu1->addMenu(QStringLiteral("Port"));
    PortSetup->setObjectName(QStringLiteral("PortSetup"));
    PortSetup->menuAction()->setStatusTip(
        QStringLiteral("Select the Com Port for serial Communication."));
    auto* ports = new QActionGroup(this);
    ports->setExclusive(true);
    COM1Item = makePortItem(PortSetup, ports, "COM1Item", 1);
    COM2Item = makePortItem(PortSetup, ports, "COM2Item", 2);
    COM3Item = makePortItem(PortSetup, ports, "COM3Item", 3);
    COM1Item->setChecked(true);
    connectHandler(this, COM1Item, &QAction::triggered, &TDownloadForm::COM1ItemClick);
    connectHandler(this, COM2Item, &QAction::triggered, &TDownloadForm::COM2ItemClick);
    connectHandler(this, COM3Item, &QAction::triggered, &TDownloadForm::COM3ItemClick);
    NetworkPortItem = PortSetup->addAction(Message::NetworkPortItem);
    NetworkPortItem->setObjectName(QStringLiteral("NetworkPortItem"));
    NetworkPortItem->setStatusTip(
        QStringLiteral("Use a serial port that a server offers over the network."));
    connectHandler(this, NetworkPortItem, &QAction::triggered,
                   &TDownloadForm::NetworkPortItemClick);
    PortSetup->addSeparator();
    FindCradleItem = PortSetup->addAction(Message::FindTheCradle);
    FindCradleItem->setObjectName(QStringLiteral("FindCradleItem"));
    FindCradleItem->setStatusTip(
        QStringLiteral("Look for the Programming Cradle on every port: press RESET on it."));
    connectHandler(this, FindCradleItem, &QAction::triggered, &TDownloadForm::FindCradleItemClick);
    // Below the three, the ports present now, listed again every time the menu opens; the
    // network port's item and the search for the cradle stay last.
    portMenu_ =
        new PortMenu(PortSetup, ports, {COM1Item, COM2Item, COM3Item}, NetworkPortItem,
                     [this](const QString& portName) { guarded([&] { choosePort(portName); }); });
    connect(PortSetup, &QMenu::aboutToShow, this,
            [this] { guarded([&] { portMenu_->list(session_.PortName); }); });
    makeBoardMenu();

    DownloadGauge = new ProgressGauge(client);
    DownloadGauge->setObjectName(QStringLiteral("DownloadGauge"));
    DownloadGauge->setGeometry(8, 38, 257, 17);
    DownloadGauge->setFont(windowFont(true));
    DownloadGauge->setBarColor(GaugeColor::Lime);

    Bevel2 = makeBevel(client, "Bevel2", QRect(8, 38, 257, 17), QFrame::Panel | QFrame::Sunken);

    Edit2 = new StatusLine(QStringLiteral("testing"), client);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(11, 14, 253, 19);
    Edit2->setAlignment(Qt::AlignCenter);
    Edit2->setFont(windowFont(true));
    Edit2->setAutoFillBackground(true);
    setColors(Edit2, Silver, Navy);

    Bevel3 = makeBevel(client, "Bevel3", QRect(8, 8, 257, 25), QFrame::Box | QFrame::Sunken);

    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, ClientHeight - 32, ClientWidth, 32);
    Panel1->setAutoFillBackground(true);

    WriteButton =
        makeButton(Panel1, "WriteButton", QStringLiteral("Write"),
                   QStringLiteral("Download Code to the Target PIC"), ButtonPictures::tick(), 16);
    WriteButton->setDefault(true);
    CancelButton =
        makeButton(Panel1, "CancelButton", QStringLiteral("Cancel"),
                   QStringLiteral("Cancel download to the PIC"), ButtonPictures::cross(), 104);
    CloseButton = makeButton(Panel1, "CloseButton", QStringLiteral("&Close"),
                             QStringLiteral("Exit the Downloader"), ButtonPictures::door(), 192);
    connectHandler(this, WriteButton, &QPushButton::clicked, &TDownloadForm::WriteButtonClick);
    connectHandler(this, CancelButton, &QPushButton::clicked, &TDownloadForm::CancelButtonClick);
    connectHandler(this, CloseButton, &QPushButton::clicked, &TDownloadForm::CloseButtonClick);
    setTabOrder(WriteButton, CancelButton);
    setTabOrder(CancelButton, CloseButton);
    auto* focusOnEnable = new FocusOnEnable(this);
    for (QPushButton* button : {WriteButton, CancelButton, CloseButton})
        button->installEventFilter(focusOnEnable);

    successShown_ = new QTimer(this);
    successShown_->setObjectName(QStringLiteral("SuccessShown"));
    successShown_->setSingleShot(true);
    successShown_->setInterval(SuccessShownMs);
    connect(successShown_, &QTimer::timeout, this, &QWidget::close);
    drawSession();

    // The window takes the size of its menu bar and client area, and keeps it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TDownloadForm::~TDownloadForm() = default;

void TDownloadForm::makeBoardMenu() {
    BoardSetup = MainMenu1->addMenu(Message::BoardMenu);
    BoardSetup->setObjectName(QStringLiteral("BoardSetup"));
    BoardSetup->menuAction()->setStatusTip(
        QStringLiteral("Check the board, or read it back, writing nothing to it."));
    VerifyItem = BoardSetup->addAction(Message::VerifyItem);
    VerifyItem->setObjectName(QStringLiteral("VerifyItem"));
    VerifyItem->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    VerifyItem->setStatusTip(QStringLiteral("Check that the board holds the HEX file."));
    connectHandler(this, VerifyItem, &QAction::triggered, &TDownloadForm::VerifyItemClick);
    ReadItem = BoardSetup->addAction(Message::ReadItem);
    ReadItem->setObjectName(QStringLiteral("ReadItem"));
    ReadItem->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    ReadItem->setStatusTip(QStringLiteral("Read the board's program and EEPROM into a HEX file."));
    connectHandler(this, ReadItem, &QAction::triggered, &TDownloadForm::ReadItemClick);
    // Chosen, and by their keys, whenever nothing runs.
    connect(&session_, &DownloadSession::runningChanged, this, [this](bool running) {
        VerifyItem->setEnabled(!running);
        ReadItem->setEnabled(!running);
    });
}

// The session's events are drawn as they come, inside the operation's step that shows them.
void TDownloadForm::drawSession() {
    connect(&session_, &DownloadSession::started, Edit2, &StatusLine::clearReports);
    connect(&session_, &DownloadSession::statusShown, Edit2, &StatusLine::setStatus);
    connect(&session_, &DownloadSession::failureShown, this, &TDownloadForm::drawFailure);
    connect(&session_, &DownloadSession::resultShown, Edit2, &StatusLine::report);
    connect(&session_, &DownloadSession::gaugeChanged, this, &TDownloadForm::drawGauge);
    connect(&session_, &DownloadSession::gaugeBarChanged, this, &TDownloadForm::drawGaugeBar);
    connect(&session_, &DownloadSession::writeAllowed, WriteButton, &QWidget::setEnabled);
    connect(&session_, &DownloadSession::stopAllowed, this, [this](bool allowed) {
        CancelButton->setEnabled(allowed);
        CloseButton->setEnabled(allowed);
    });
    connect(&session_, &DownloadSession::portNoted, Edit2, &StatusLine::setNote);
    connect(&session_, &DownloadSession::answersLate, this,
            [this](const LateAnswers&, const QString& text, const QString& cause) {
                Edit2->setNotice(cause.isEmpty() ? text : text + QLatin1Char('\n') + cause);
            });
    connect(&session_, &DownloadSession::errorRaised, this, &reportError);
    session_.keepFoundPort = [this](const QString& portName) { keepPort(portName); };
}

void TDownloadForm::drawFailure(const QString& text, const QString& detail) {
    WriteButton->setEnabled(true);
    CancelButton->setEnabled(true);
    CloseButton->setEnabled(true);
    WriteButton->setFocus(Qt::OtherFocusReason); // Enter tries again
    Edit2->report(text, detail);
}

void TDownloadForm::drawGauge(int progress, int maximum) {
    DownloadGauge->setMaximum(maximum);
    DownloadGauge->setProgress(progress);
}

void TDownloadForm::drawGaugeBar(GaugeBar bar) {
    switch (bar) {
    case GaugeBar::Lime:
        DownloadGauge->setBarColor(GaugeColor::Lime);
        break;
    case GaugeBar::Blue:
        DownloadGauge->setBarColor(GaugeColor::Blue);
        break;
    case GaugeBar::Red:
        DownloadGauge->setBarColor(GaugeColor::Red);
        break;
    }
}

void TDownloadForm::CancelButtonClick(QObject*) {
    session_.cancel();
}

void TDownloadForm::CloseButtonClick(QObject*) {
    WriteButton->setEnabled(true);
    CancelButton->setEnabled(true);
    session_.close();
    close();
}

void TDownloadForm::closeAfterSuccess() {
    WriteButton->setEnabled(false);
    CancelButton->setEnabled(false);
    successShown_->start();
}

bool TDownloadForm::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::Show:
        if (!centred_) {
            centred_ = true;
            centreOnScreen();
        }
        break;
    case QEvent::WindowActivate:
        if (!activated_) {
            activated_ = true;
            const bool handled = QMainWindow::event(e);
            // The toolkit gives the focus only once this event has been handled, and the
            // download runs inside it: the first control takes it now.
            if (focusWidget() == nullptr)
                focusNextChild();
            guarded([&] { FormActivate(this); });
            return handled;
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(e);
        acceptsDrop(*drag->mimeData()) ? drag->acceptProposedAction() : drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(e);
        if (!acceptsDrop(*drop->mimeData()))
            return QMainWindow::event(e);
        drop->acceptProposedAction();
        writeDroppedFile(*drop->mimeData());
        return true;
    }
    case QEvent::KeyPress:
        if (pressButtonForKey(*static_cast<QKeyEvent*>(e)))
            return true;
        break;
    default:
        break;
    }
    return QMainWindow::event(e);
}

// Reaches the window only when no button took the key: a button with the focus presses itself
// on Enter.
bool TDownloadForm::pressButtonForKey(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier)
        return false;
    QPushButton* button = nullptr;
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter)
        button = WriteButton;
    else if (key.key() == Qt::Key_Escape)
        button = CancelButton;
    if (button == nullptr || !button->isEnabled())
        return false;
    button->click();
    return true;
}

void TDownloadForm::centreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TDownloadForm::pump() {
    QCoreApplication::processEvents();
}
