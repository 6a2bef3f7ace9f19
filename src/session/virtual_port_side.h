#pragma once

#include "session/serial_side.h"

namespace pvx::platform {
class VirtualPort;
}

namespace pvx::session {

/// A virtual port as a session's serial side: a pseudo-terminal that a
/// program on this machine opens as its serial port. What the network
/// sends waits for the program while the window says to buffer it, and is
/// lost otherwise.
class VirtualPortSide final : public SerialSide {
public:
    VirtualPortSide(platform::VirtualPort &port, Context context);

    bool open(int connector) override;
    bool close() override;
    bool isOpen() const override;
    qint64 bytesAvailable() const override;
    qint32 readInto(TransferBuffer &queue) override;
    void discardInput() override;
    qint32 writeFrom(TransferBuffer &buffer) override;
    /// The program's bytes are read, and lost later if nobody takes them.
    bool discardsUnwantedInput() const override { return false; }
    bool awaitsProgram() const override;
    QString path() const override;
    /// A virtual port has no line settings of its own.
    bool applyLineSettings() override { return true; }

private:
    platform::VirtualPort &m_port;
    Context m_context;
};

} // namespace pvx::session
