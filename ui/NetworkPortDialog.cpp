#include "ui/NetworkPortDialog.h"

#include "link/NetworkAddress.h"
#include "ui/Messages.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The two kinds of server, each beside the scheme that names it.
const QString Explanation = QStringLiteral(
    "<p>The URL of a serial port that a server offers over the network:</p>"
    "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"1\">"
    "<tr><td><b>rfc2217://</b>HOST:PORT&nbsp;&nbsp;</td>"
    "<td>a server that sets the line through RFC&nbsp;2217</td></tr>"
    "<tr><td><b>socket://</b>HOST:PORT&nbsp;&nbsp;</td>"
    "<td>a raw TCP server whose port is already at 19200&nbsp;baud 8N1</td></tr></table>");
const QString Example = QStringLiteral("rfc2217://bench-pi:4000");

// The width of the dialog's text, in average characters.
constexpr int TextWidth = 76;

} // namespace

NetworkPortDialog::NetworkPortDialog(const QString& portInUse, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NetworkPortDialog"));
    setWindowTitle(Message::NetworkPort);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    const int width = fontMetrics().averageCharWidth() * TextWidth;
    auto* explanation = new QLabel(Explanation, this);
    explanation->setObjectName(QStringLiteral("ExplanationLabel"));
    explanation->setTextFormat(Qt::RichText);
    explanation->setWordWrap(true);
    explanation->setFixedWidth(width);

    AddressEdit = new QLineEdit(isNetworkPortName(portInUse) ? portInUse : QString(), this);
    AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
    AddressEdit->setPlaceholderText(Example);
    AddressEdit->setFixedWidth(width);

    // Small and red, with room for two lines so that the dialog keeps its size as the text comes
    // and goes.
    ReasonLabel = new QLabel(this);
    ReasonLabel->setObjectName(QStringLiteral("ReasonLabel"));
    ReasonLabel->setWordWrap(true);
    QFont small = ReasonLabel->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    ReasonLabel->setFont(small);
    QPalette palette = ReasonLabel->palette();
    palette.setColor(QPalette::WindowText, QColor(0xA0, 0x00, 0x00));
    ReasonLabel->setPalette(palette);
    ReasonLabel->setFixedSize(width, 2 * QFontMetrics(small).lineSpacing());
    ReasonLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OkButton = buttons->button(QDialogButtonBox::Ok);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(AddressEdit);
    layout->addWidget(ReasonLabel);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(AddressEdit, &QLineEdit::textChanged, this, &NetworkPortDialog::check);
    check();
    if (parent != nullptr)
        parent->installEventFilter(this);
}

QString NetworkPortDialog::portName() const {
    return AddressEdit->text().trimmed();
}

// OK for a good address only; the reason for any other, nothing while the field is empty.
void NetworkPortDialog::check() {
    const QString name = portName();
    const ParsedNetworkAddress parsed = parseNetworkAddress(name);
    OkButton->setEnabled(parsed.ok());
    ReasonLabel->setText(name.isEmpty() ? QString() : parsed.error);
}

// The window hidden by the program (not minimised by the user) takes the dialog with it.
bool NetworkPortDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Hide && !event->spontaneous() &&
        isVisible())
        reject();
    return QDialog::eventFilter(watched, event);
}
