#include "link/CradlePort.h"

#include "link/NetworkAddress.h"
#include "link/NetworkLink.h"
#include "link/SerialDevice.h"

CradlePort::CradlePort() = default;
CradlePort::~CradlePort() = default;

CradlePort::OpenResult CradlePort::open(const QString& portName, const KeepWaiting& keepWaiting) {
    close();
    abandoned_ = false;
    if (isNetworkPortName(portName)) {
        auto link = std::make_unique<NetworkLink>();
        const OpenResult result = link->open(portName, [&] {
            abandoned_ = keepWaiting && !keepWaiting();
            return !abandoned_;
        });
        device_ = std::move(link);
        return result;
    }
    auto device = std::make_unique<SerialDevice>();
    const OpenResult result = device->open(portName);
    device_ = std::move(device);
    return result;
}

void CradlePort::take(std::unique_ptr<PortDevice> device) {
    close();
    device_ = std::move(device);
}

QString CradlePort::openFailureDetail(OpenResult result, const QString& portName) const {
    return device_ ? device_->openFailureDetail(result, portName) : QString();
}
