#include "bench/Figures.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>

#include <unistd.h>

std::optional<bool> Figure::met() const {
    if (!limit)
        return std::nullopt;
    return below ? value < *limit : value <= *limit;
}

void FigureTable::section(const QString& heading) {
    sections_.append({heading, {}, {}});
}

void FigureTable::add(Figure figure) {
    sections_.last().figures.append(std::move(figure));
}

void FigureTable::note(const QString& key, double value) {
    sections_.last().notes.insert(key, value);
}

namespace {

QString number(double value) {
    const double size = std::abs(value);
    const int decimals = size >= 100 ? 1 : size >= 10 ? 2 : 3;
    return QString::number(value, 'f', decimals);
}

QString targetText(const Figure& figure) {
    if (!figure.limit)
        return QString();
    return (figure.below ? "< " : "<= ") + number(*figure.limit) + " " + figure.unit;
}

} // namespace

QString FigureTable::text() const {
    QString out;
    const auto row = [&out](const QString& label, const QString& value, const QString& target,
                            const QString& verdict) {
        out += "  " + label.leftJustified(52) + value.rightJustified(14) + "  " +
               target.leftJustified(16) + verdict + "\n";
    };
    for (const Section& section : sections_) {
        out += section.heading + "\n";
        for (const Figure& figure : section.figures) {
            const auto met = figure.met();
            row(figure.label, number(figure.value) + " " + figure.unit, targetText(figure),
                met ? (*met ? "ok" : "MISSED") : "");
        }
    }
    return out;
}

QJsonObject FigureTable::json() const {
    QJsonObject out;
    for (const Section& section : sections_) {
        QJsonObject figures = section.notes;
        for (const Figure& figure : section.figures) {
            QJsonObject item{
                {"label", figure.label}, {"value", figure.value}, {"unit", figure.unit}};
            if (figure.limit) {
                item.insert("limit", *figure.limit);
                item.insert("strictlyBelow", figure.below);
                item.insert("met", *figure.met());
            }
            figures.insert(figure.key, item);
        }
        out.insert(section.heading, figures);
    }
    return out;
}

bool FigureTable::allMet() const {
    for (const Section& section : sections_)
        for (const Figure& figure : section.figures)
            if (figure.met() == false)
                return false;
    return true;
}

QJsonObject machineDescription() {
    QString cpu = QStringLiteral("unknown");
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        static const QRegularExpression model(QStringLiteral("^model name\\s*:\\s*(.*)$"),
                                              QRegularExpression::MultilineOption);
        const auto match = model.match(QString::fromUtf8(info.readAll()));
        if (match.hasMatch())
            cpu = match.captured(1).trimmed();
    }
    return {{"processors", QThread::idealThreadCount()},
            {"cpu", cpu},
            {"qt", QString::fromLatin1(qVersion())},
            {"kernel", QSysInfo::kernelType() + " " + QSysInfo::kernelVersion()},
            {"os", QSysInfo::prettyProductName()}};
}

QString machineSummary(const QJsonObject& machine) {
    return QStringLiteral("%1 processor(s), %2, Qt %3, %4 (%5)")
        .arg(machine["processors"].toInt())
        .arg(machine["cpu"].toString(), machine["qt"].toString(), machine["os"].toString(),
             machine["kernel"].toString());
}
