#pragma once

#include "platform/result.h"
#include "session/device_return.h"
#include "session/serial_side.h"

namespace pvx::core {
struct PortMap;
}
namespace pvx::platform {
class DeviceWatch;
class SerialPort;
}

namespace pvx::session {

/// A real serial device as a session's serial side. A device missing or
/// in use at activation is waited for; one that fails while active is
/// opened again when it comes back at its path, with the window's settings.
class DeviceSide final : public SerialSide {
public:
    struct Devices {
        platform::SerialPort &port;
        platform::DeviceWatch &watch;
        /// Where connector n's device is found.
        const core::PortMap &ports;
    };

    DeviceSide(Devices devices, Context context);

    bool open(int connector) override;
    bool close() override;
    bool isOpen() const override;
    qint64 bytesAvailable() const override;
    qint32 readInto(TransferBuffer &queue) override;
    void discardInput() override;
    qint32 writeFrom(TransferBuffer &buffer) override;
    bool discardsUnwantedInput() const override { return true; }
    bool awaitsProgram() const override { return false; }
    QString path() const override;
    bool applyLineSettings() override;

private:
    bool fail(const QString &description);
    void closePort();
    /// The device failed while open; the port is closed already.
    void onFailed(const platform::Error &error);

    // A device that failed and comes back.
    /// Watches the device's path from now until the side closes, where a
    /// watch can tell that the device came back.
    void watchPath();
    /// The device refused the activation's open with `refusal`: when it is
    /// missing or another program holds it, the side waits for it (true);
    /// any other refusal fails (false).
    bool waitForDevice(const platform::Error &refusal);
    void onPathChanged();
    void retryAfterFailure();
    void reopen();

    Devices m_devices;
    Context m_context;
    DeviceReturn m_return;
    int m_connector = 0;
};

} // namespace pvx::session
