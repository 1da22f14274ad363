#pragma once

#include "driver/DownloadSession.h"

#include <QList>
#include <QObject>
#include <QString>

// The failures that a session reports, in order, each with its detail: what the window's status
// line and its tool tip would show.
class FailureLog : public QObject {
public:
    struct Failure {
        QString text;
        QString detail;
    };

    explicit FailureLog(DownloadSession& session) {
        connect(&session, &DownloadSession::failureShown, this,
                [this](const QString& text, const QString& detail) {
                    failures.append({text, detail});
                });
    }

    QList<Failure> failures;
};
