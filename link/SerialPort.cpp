// placeholder: serial port and command framing (being written)
#include "link/HexText.h"
#include "link/SerialDevice.h"
#include "ui/TDownloadForm.h"

#include <QSerialPort>

SerialDevice::SerialDevice() = default;
SerialDevice::~SerialDevice() = default;
QString SerialDevice::devicePath(const QString& n) { return n; }
SerialDevice::OpenResult SerialDevice::open(const QString&) { return OpenResult::OpenFailed; }
bool SerialDevice::isOpen() const { return false; }
bool SerialDevice::close() { return false; }
qint64 SerialDevice::write(const QByteArray&) { return 0; }
QByteArray SerialDevice::read(int) { return {}; }
bool SerialDevice::purge() { return false; }
void SerialDevice::clearErrors() {}
void SerialDevice::noteDeviceLoss() {}
bool TDownloadForm::OpenCom(const QString&) { return false; }
bool TDownloadForm::CloseCom() { return false; }
int TDownloadForm::WRITE_BYTE(char) { return 0; }
char TDownloadForm::READ_BYTE() { return 0; }
void TDownloadForm::SEND_HEX(const QString&) {}
QString TDownloadForm::GET_REPLY() { return {}; }
QString TDownloadForm::GET_WORD_REPLY() { return {}; }
bool TDownloadForm::RECEIVE_ACK() { return false; }
bool TDownloadForm::WAIT_FOR_ACK() { return false; }
void TDownloadForm::DELAYMS(int) {}
void TDownloadForm::Timer1Timer(QObject*) {}
void TDownloadForm::Timeout_TimerTimer(QObject*) {}
quint32 leadingHexValue(QByteArrayView) { return 0; }
quint32 hexValueOrZero(QByteArrayView) { return 0; }
quint32 hexValueOrZero(const QString&) { return 0; }
QString hexWord(quint16) { return {}; }
