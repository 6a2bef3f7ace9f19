#pragma once

#include "session/session_lists.h"
#include "support/session_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

namespace pvx::testing {

/// `size` bytes that differ from one position to the next, so that a lost or
/// reordered byte shows.
inline QByteArray pattern(qsizetype size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 251 + seed) & 0xff);
    return bytes;
}

inline constexpr auto kSerialLine = session::StatusLine::Serial;
inline constexpr auto kNetworkLine = session::StatusLine::Network;

/// A session on COM4 set up for one role, ready to activate.
struct BridgeFixture : SessionFixture {
    enum class Role {
        Client,
        Server,
    };
    enum class Side {
        RealPort,
        VirtualPort,
    };

    explicit BridgeFixture(Role role, Side side = Side::RealPort, bool udp = false)
    {
        settings.LogErrors = 1;
        ports.devices.insert(4, s("/dev/fake4"));
        window().connector.select(4);
        window().remoteHost.setText(s("192.0.2.1"));
        window().portNumber.setText(s("5000"));
        if (role == Role::Server)
            window().serverRoleButton.setValue(1);
        window().useVirtualPort.setValue(side == Side::VirtualPort ? 1 : 0);
        window().useUdp.setValue(udp ? 1 : 0);
    }

    /// Selects the transfer buffers' size by list position (0: 1024 bytes).
    void bufferSize(int position) { window().bufferSize.select(position); }

    void activate()
    {
        session->toggleActive();
        ASSERT_TRUE(session->isActive());
    }

    /// A client connects to the server; returns the socket it was given.
    int connectClient(const char *address = "198.51.100.9")
    {
        return sockets.connectClient(m_nextRequest++, s(address));
    }

    /// The client's connection attempt succeeds.
    void connectToServer()
    {
        socket(0).setState(platform::kSocketConnected);
        socket(0).events.connected();
    }

    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            session->onPumpTick();
    }

    /// The bytes the device or the program on the virtual port sends.
    void serialSends(const QByteArray &bytes)
    {
        if (window().useVirtualPort.value() == 1)
            vport->receive(bytes);
        else
            serial->receive(bytes);
    }

    /// What reached the device or the program on the virtual port.
    QByteArray serialGot() { return window().useVirtualPort.value() == 1 ? vport->written : serial->written; }

    QString logText() { return QString::fromUtf8(files.files.value(log.path())); }

private:
    int m_nextRequest = 100;
};

} // namespace pvx::testing
