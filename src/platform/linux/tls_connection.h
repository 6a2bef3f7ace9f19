#pragma once

#include "platform/linux/byte_stream.h"
#include "platform/linux/openssl_context.h"
#include "platform/linux/tcp_connection.h"

#include <QTimer>

#include <openssl/bio.h>

#include <memory>

namespace pvx::platform {

/// TLS over a connected TCP stream. The ciphertext travels through a
/// TcpConnection (which queues what the kernel does not take and never
/// raises SIGPIPE); what the peer sends is decrypted as far as a bounded
/// buffer has room, so a slow reader still holds the peer back through
/// TCP's window.
///
/// Nothing is read before the first event from the event loop: a server
/// may still refuse the connection after taking it without a byte of the
/// handshake having been read. A handshake that has not finished after
/// kHandshakeTimeoutMs fails. Until it finishes nothing may be sent, and
/// nothing is readable.
class TlsConnection final : public ByteStream {
public:
    struct Handshake {
        /// The peer is who it should be; data may flow.
        std::function<void()> finished;
        /// The handshake failed or timed out; `reason` in words. Nothing
        /// more happens on the connection.
        std::function<void(const QString &reason)> failed;
    };

    static constexpr int kHandshakeTimeoutMs = 10000;
    /// Decrypted bytes held for the owner at most; the rest waits in the
    /// kernel.
    static constexpr qint64 kPlainBound = 64 * 1024;

    /// Takes a connected, non-blocking socket and a new `ssl` for the end
    /// `role` says; a client's first handshake message goes out from the
    /// event loop.
    TlsConnection(UniqueFd socket, SslHandle ssl, TlsRole role, Events events, Handshake handshake);
    ~TlsConnection() override;
    TlsConnection(const TlsConnection &) = delete;
    TlsConnection &operator=(const TlsConnection &) = delete;

    int descriptor() const override { return m_tcp.descriptor(); }
    /// Tells the peer the end (close_notify) when the connection is
    /// established and sound, then closes.
    void close() override;

    /// Decrypted bytes waiting.
    qint64 bytesAvailable() const override { return m_plain.size() - m_plainStart; }
    qint64 read(char *buffer, qint64 maxBytes) override;
    void resumeReading() override;
    void stopReading() override;
    Ending ending(int &error) const override;

    /// Only once the handshake has finished.
    void send(const QByteArray &bytes) override;
    /// Encrypted bytes queued.
    qint64 queued() const override { return m_tcp.queued(); }
    void holdSending(bool held) override { m_tcp.holdSending(held); }
    bool peerReset() const override { return m_tcp.peerReset(); }

private:
    static BIO_METHOD *socketMethod();
    static int writeToSocket(BIO *bio, const char *data, int length);
    static int readFromSocket(BIO *bio, char *buffer, int length);
    static long controlSocket(BIO *bio, int command, long number, void *pointer);

    void onCipherReadable();
    void onSendFailed(int error);
    void onWake();
    void raiseReadable();
    void stepHandshake();
    void failHandshake(const QString &reason);
    /// Decrypts what has come as far as the buffer has room.
    void decrypt();
    /// Raises readable from the event loop when bytes or the end wait and
    /// the last event has been answered.
    void scheduleReadable();
    bool hasNews() const { return bytesAvailable() > 0 || m_end != Ending::Open; }

    TcpConnection m_tcp;
    SslHandle m_ssl;
    Events m_events;
    Handshake m_handshake;
    QTimer m_timeout;
    /// Brings the client's first handshake step and the readable events
    /// for bytes already decrypted.
    QTimer m_wake;
    QByteArray m_plain;
    qsizetype m_plainStart = 0;
    Ending m_end = Ending::Open;
    int m_endError = 0;
    /// errno of a failed read or send underneath, for the next TLS call.
    int m_socketError = 0;
    bool m_established = false;
    bool m_failed = false;
    bool m_reading = true;
    bool m_raised = false;
    /// A TLS call is running: a failed send underneath is raised after it.
    bool m_inTlsCall = false;
};

} // namespace pvx::platform
