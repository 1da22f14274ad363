#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// One measured figure: a ratio, a per-command or per-word cost, or a CPU share, with the
// target it is held against (if any).
struct Figure {
    QString key;   // the JSON name
    QString label; // what the table shows
    double value = 0;
    QString unit;
    std::optional<double> limit; // the figure must be at most this
    bool below = false;          // the figure must be strictly below the limit

    std::optional<bool> met() const;
};

// Figures grouped under headings, printed as a table and written as JSON.
class FigureTable {
public:
    void section(const QString& heading);
    void add(Figure figure);
    void add(const QString& key, const QString& label, double value, const QString& unit) {
        add(Figure{key, label, value, unit, {}, false});
    }
    void note(const QString& key, double value); // extra information, JSON only

    QString text() const;
    QJsonObject json() const;
    bool allMet() const;

private:
    struct Section {
        QString heading;
        QList<Figure> figures;
        QJsonObject notes;
    };
    QList<Section> sections_;
};

// The machine the figures come from: processors, CPU model, Qt version, kernel.
QJsonObject machineDescription();
QString machineSummary(const QJsonObject& machine);
