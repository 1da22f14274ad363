#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a network port's URL, rfc2217://HOST:PORT or socket://HOST:PORT. The URL is checked
// as it is typed: OK is enabled for a good address only, and below the field the dialog says
// what is wrong with any other. A dialog still open when its window is hidden (closed after a
// successful download) is cancelled.
class NetworkPortDialog : public QDialog {
    Q_OBJECT

public:
    // The field holds `portInUse` when that is a network port, and is empty otherwise.
    explicit NetworkPortDialog(const QString& portInUse, QWidget* parent = nullptr);

    // The URL as typed, without the spaces around it.
    QString portName() const;

    // Controls.
    QLineEdit* AddressEdit = nullptr;
    QLabel* ReasonLabel = nullptr; // why the URL is not a good address; empty for a good one
    QPushButton* OkButton = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();
};
