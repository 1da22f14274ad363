#include "ui/PortMenu.h"

#include "link/NetworkAddress.h"
#include "link/SerialPlatform.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QMenu>

namespace {

QString itemText(const DetectedPort& port) {
    return port.description.isEmpty()
               ? port.device
               : port.device + QStringLiteral(" (") + port.description + QLatin1Char(')');
}

// Whether the port in use is that detected port: its stable name, its device, or a name that
// leads to that device (a link such as /dev/serial/by-path/...).
bool isInUse(const DetectedPort& port, const QString& portInUse) {
    if (port.name == portInUse)
        return true;
    const QString device = serialPlatform().devicePath(portInUse);
    return port.device == device || port.device == QFileInfo(device).canonicalFilePath();
}

} // namespace

PortMenu::PortMenu(QMenu* menu, QActionGroup* group, QList<QAction*> fixedItems, QAction* tail,
                   Choice choose)
    : QObject(menu), menu_(menu), group_(group), fixedItems_(std::move(fixedItems)), tail_(tail),
      choose_(std::move(choose)) {}

void PortMenu::list(const QString& portInUse) {
    clear();
    QAction* inUse = nullptr;
    for (QAction* item : fixedItems_)
        if (item->text() == portInUse) // exact: "com2" is no fixed item
            inUse = item;
    // A network port is no device: it is listed by its URL, as it stands.
    const bool network = isNetworkPortName(portInUse);
    const SerialPlatform& platform = serialPlatform();
    for (const DetectedPort& port : platform.detectedPorts()) {
        if (isFixedPort(port))
            continue;
        QAction* item = addItem(itemText(port), port.name);
        if (inUse == nullptr && !network && isInUse(port, portInUse))
            inUse = item;
    }
    if (inUse == nullptr)
        inUse = addItem(network || platform.deviceExists(portInUse)
                            ? portInUse
                            : portInUse + QStringLiteral(" (not present)"),
                        portInUse);
    inUse->setChecked(true);
}

// A COMn that is one of the fixed items is not listed twice.
bool PortMenu::isFixedPort(const DetectedPort& port) const {
    const SerialPlatform& platform = serialPlatform();
    for (const QAction* item : fixedItems_)
        if (port.name == item->text() || port.device == platform.devicePath(item->text()))
            return true;
    return false;
}

QAction* PortMenu::addItem(const QString& text, const QString& portName) {
    if (items_.isEmpty())
        items_.append(menu_->insertSeparator(tail_));
    auto* item = new QAction(text, menu_);
    menu_->insertAction(tail_, item);
    item->setCheckable(true);
    group_->addAction(item);
    connect(item, &QAction::triggered, this, [this, portName] { choose_(portName); });
    items_.append(item);
    return item;
}

// The items may be removed from inside the click of one of them: they are deleted afterwards.
void PortMenu::clear() {
    for (QAction* item : std::as_const(items_)) {
        menu_->removeAction(item);
        group_->removeAction(item);
        item->deleteLater();
    }
    items_.clear();
}
