// placeholder (being written)
#include "device/TargetIdentity.h"
#include "hex/HexRecord.h"
#include "driver/HexFileReader.h"
#include "ui/TDownloadForm.h"
QString FirmwareVersion;
QString BootVectorAddress;
quint8 BlockWordCounter = 1;
QString TDownloadForm::GET_FIRMWARE_VERSION() { return {}; }
QString TDownloadForm::READ_VECTOR_ADDRESS() { return {}; }
bool TDownloadForm::ERASE_PICMICRO() { return false; }
bool TDownloadForm::FINISH_BOOTLOAD() { return false; }
bool TDownloadForm::SEND_DATA_TO_MICRO(const QByteArray&, const QByteArray&) { return false; }
bool TDownloadForm::PROGRAM_MAIN_MEMORY(const QByteArray&, quint16, quint8) { return false; }
bool TDownloadForm::PROGRAM_EEPROM(const QByteArray&, quint16, quint8) { return false; }
void TDownloadForm::WriteButtonClick(QObject*) {}
bool TDownloadForm::START_DOWNLOADING(const QString&) { return false; }
