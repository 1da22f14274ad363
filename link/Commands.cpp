#include "link/Commands.h"

#include "link/HexText.h"

#include <QRegularExpression>

QString Command::address(quint16 wordAddress) {
    return address(hexWord(wordAddress));
}

QString Command::address(const QString& wordAddress) {
    return QStringLiteral("a") + wordAddress;
}

QString Command::writeWord(quint16 word) {
    return QStringLiteral("w") + hexWord(word);
}

QString Command::readWord() {
    return QStringLiteral("r1");
}

QString Command::eraseRow() {
    return QStringLiteral("e");
}

QString Command::go() {
    return QStringLiteral("g");
}

QString Command::identify() {
    return QStringLiteral("rFFFF");
}

QString ComName::of(int number) {
    return QStringLiteral("COM%1").arg(number);
}

int ComName::posixNumber(const QString& portName) {
    static const QRegularExpression comPort(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch match = comPort.match(portName);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

bool ComName::isWindowsName(const QString& portName) {
    static const QRegularExpression comPort(QStringLiteral("^COM[1-9][0-9]*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return comPort.match(portName).hasMatch();
}
