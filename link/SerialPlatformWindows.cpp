// The serial ports' platform parts on Windows: COM names are the devices themselves, and the
// ports present are those of the COM port device interface, with their friendly names, joined
// with those the registry's serial device map lists. An FTDI adapter's latency timer is set in
// the Device Manager, not by the tool.
#include "link/SerialPlatform.h"

#include <QCollator>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

#include <windows.h>

#include <setupapi.h>

namespace {

// The COM port device interface class, {86E0D1E0-8089-11D0-9CE4-08003E301F73}.
const GUID ComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

QString text(const std::vector<wchar_t>& buffer) {
    return QString::fromWCharArray(buffer.data()).trimmed();
}

QString registryText(HKEY key, const wchar_t* name) {
    std::vector<wchar_t> buffer(256, L'\0');
    DWORD type = 0;
    DWORD size = DWORD((buffer.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return text(buffer);
}

QString deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<wchar_t> buffer(256, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(buffer.data()),
                                           DWORD((buffer.size() - 1) * sizeof(wchar_t)), nullptr))
        return {};
    return text(buffer);
}

// A friendly name ends in the port it names, "USB Serial Port (COM4)": the menu shows that part
// apart, so it is taken off.
QString withoutPortName(QString friendlyName, const QString& portName) {
    const QString suffix = QStringLiteral(" (") + portName + QLatin1Char(')');
    if (friendlyName.endsWith(suffix, Qt::CaseInsensitive))
        friendlyName.chop(suffix.size());
    return friendlyName;
}

// The COM ports of the device interface that are present now, with what the system says of them.
QList<DetectedPort> interfacePorts() {
    QList<DetectedPort> ports;
    HDEVINFO devices = SetupDiGetClassDevsW(&ComPortInterface, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const QString name = registryText(key, L"PortName");
        RegCloseKey(key);
        if (name.isEmpty())
            continue;
        const QString description =
            withoutPortName(deviceProperty(devices, device, SPDRP_FRIENDLYNAME), name);
        ports.append(
            {name, name, portDescription(description, deviceProperty(devices, device, SPDRP_MFG))});
    }
    SetupDiDestroyDeviceInfoList(devices);
    return ports;
}

// The ports that the serial device map lists: every serial driver enters its ports there.
QStringList serialDeviceMap() {
    QStringList names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> valueName(256, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = DWORD(valueName.size());
        if (RegEnumValueW(key, index, valueName.data(), &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        const QString name = registryText(key, valueName.data());
        if (!name.isEmpty())
            names.append(name);
    }
    RegCloseKey(key);
    return names;
}

} // namespace

QString SerialPlatform::devicePath(const QString& portName) const {
    return portName;
}

// A COM name is there when the system knows the device it stands for.
bool SerialPlatform::deviceExists(const QString& portName) const {
    std::vector<wchar_t> target(1024, L'\0');
    return QueryDosDeviceW(reinterpret_cast<const wchar_t*>(portName.utf16()), target.data(),
                           DWORD(target.size())) != 0;
}

// A port refused for its permissions is held by another program.
bool SerialPlatform::mayUse(const QString&) const {
    return true;
}

// In the order of their numbers: COM3 before COM10.
QList<DetectedPort> SerialPlatform::detectedPorts() const {
    QList<DetectedPort> ports = interfacePorts();
    for (const QString& name : serialDeviceMap()) {
        const bool listed =
            std::any_of(ports.cbegin(), ports.cend(), [&](const DetectedPort& port) {
                return port.name.compare(name, Qt::CaseInsensitive) == 0;
            });
        if (!listed)
            ports.append({name, name, QString()});
    }
    QCollator order;
    order.setNumericMode(true);
    std::sort(ports.begin(), ports.end(), [&](const DetectedPort& left, const DetectedPort& right) {
        return order.compare(left.name, right.name) < 0;
    });
    return ports;
}
