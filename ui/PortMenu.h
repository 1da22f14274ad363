#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QActionGroup;
class QMenu;
struct DetectedPort;

// The Port menu below its fixed COM items: a separator, the serial ports present now and, when
// it is none of those items, the port in use as an item of its own (a network port by its URL).
// All are radio items in the fixed items' group, so the port in use is always the one marked.
// Without detected ports and with a fixed port in use, the ports are the fixed items alone. Last
// come the item that asks for a network port and, after a separator, the item that looks for
// the cradle.
class PortMenu : public QObject {
public:
    using Choice = std::function<void(const QString& portName)>;

    // `fixedItems` are named by their port ("COM1"); `choose` runs for a port chosen below them.
    // The listed items go between the fixed items and `tail`, the first of the last items.
    PortMenu(QMenu* menu, QActionGroup* group, QList<QAction*> fixedItems, QAction* tail,
             Choice choose);

    // Lists the ports present now and marks the port in use.
    void list(const QString& portInUse);

private:
    bool isFixedPort(const DetectedPort& port) const;
    QAction* addItem(const QString& text, const QString& portName);
    void clear();

    QMenu* menu_;
    QActionGroup* group_;
    QList<QAction*> fixedItems_;
    QAction* tail_;
    Choice choose_;
    QList<QAction*> items_; // everything below the fixed items, the separator included
};
