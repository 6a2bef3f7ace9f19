#include "platform/linux/tls_connection.h"

#include "platform/linux/tls_failure_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

namespace pvx::platform {

TlsConnection::TlsConnection(UniqueFd socket, SslHandle ssl, TlsRole role, Events events, Handshake handshake)
    : m_tcp(std::move(socket),
            {
                .readable = [this] { onCipherReadable(); },
                .sent =
                    [this](qint64 bytes) {
                        if (m_events.sent)
                            m_events.sent(bytes);
                    },
                .sendFailed = [this](int error) { onSendFailed(error); },
            }),
      m_ssl(std::move(ssl)),
      m_events(std::move(events)),
      m_handshake(std::move(handshake))
{
    BIO *bio = BIO_new(socketMethod());
    BIO_set_data(bio, this);
    BIO_set_init(bio, 1);
    SSL_set_bio(m_ssl.get(), bio, bio);
    // Reading ahead takes whole records and more in one call.
    SSL_set_read_ahead(m_ssl.get(), 1);
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kHandshakeTimeoutMs);
    QObject::connect(&m_timeout, &QTimer::timeout, this, [this] {
        failHandshake(QStringLiteral("TLS handshake did not finish within %1 s").arg(kHandshakeTimeoutMs / 1000));
    });
    m_timeout.start();
    m_wake.setSingleShot(true);
    m_wake.setInterval(0);
    QObject::connect(&m_wake, &QTimer::timeout, this, [this] { onWake(); });
    // A server waits for the client's hello; a client speaks first.
    if (role == TlsRole::Server) {
        SSL_set_accept_state(m_ssl.get());
    } else {
        SSL_set_connect_state(m_ssl.get());
        m_wake.start();
    }
}

TlsConnection::~TlsConnection() = default;

BIO_METHOD *TlsConnection::socketMethod()
{
    // One method for every connection, for the program's lifetime.
    static BIO_METHOD *const method = [] {
        BIO_METHOD *made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "porvix tcp connection");
        BIO_meth_set_write(made, &TlsConnection::writeToSocket);
        BIO_meth_set_read(made, &TlsConnection::readFromSocket);
        BIO_meth_set_ctrl(made, &TlsConnection::controlSocket);
        return made;
    }();
    return method;
}

int TlsConnection::writeToSocket(BIO *bio, const char *data, int length)
{
    auto *self = static_cast<TlsConnection *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    // The connection queues what the kernel does not take, so a write never
    // has to be retried.
    self->m_tcp.send(QByteArray(data, length));
    return self->m_socketError != 0 ? -1 : length;
}

int TlsConnection::readFromSocket(BIO *bio, char *buffer, int length)
{
    auto *self = static_cast<TlsConnection *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (const qint64 got = self->m_tcp.read(buffer, length); got > 0)
        return static_cast<int>(got);
    int error = 0;
    switch (self->m_tcp.ending(error)) {
    case Ending::Open:
        BIO_set_retry_read(bio);
        return -1;
    case Ending::Closed:
        return 0;
    case Ending::Failed:
        self->m_socketError = error;
        return -1;
    }
    return -1;
}

long TlsConnection::controlSocket(BIO *, int command, long, void *)
{
    // Everything written is with the connection already.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

void TlsConnection::close()
{
    m_events = {};
    m_handshake = {};
    m_timeout.stop();
    m_wake.stop();
    if (m_established && !m_failed && m_socketError == 0) {
        m_inTlsCall = true;
        (void)SSL_shutdown(m_ssl.get());
        m_inTlsCall = false;
        ERR_clear_error();
    }
    m_failed = true;
    m_tcp.close();
    m_plain.clear();
    m_plainStart = 0;
}

qint64 TlsConnection::read(char *buffer, qint64 maxBytes)
{
    m_raised = false;
    const qint64 taken = std::clamp<qint64>(bytesAvailable(), 0, std::max<qint64>(maxBytes, 0));
    std::memcpy(buffer, m_plain.constData() + m_plainStart, static_cast<std::size_t>(taken));
    m_plainStart += taken;
    if (bytesAvailable() == 0) {
        // An idle connection holds no buffer.
        m_plain.clear();
        m_plainStart = 0;
    }
    decrypt();
    scheduleReadable();
    return taken;
}

void TlsConnection::resumeReading()
{
    m_raised = false;
    m_tcp.resumeReading();
    scheduleReadable();
}

void TlsConnection::stopReading()
{
    m_reading = false;
    m_tcp.stopReading();
    m_wake.stop();
}

TlsConnection::Ending TlsConnection::ending(int &error) const
{
    if (bytesAvailable() > 0)
        return Ending::Open;
    error = m_endError;
    return m_end;
}

void TlsConnection::send(const QByteArray &bytes)
{
    if (!m_established || m_failed || bytes.isEmpty())
        return;
    m_inTlsCall = true;
    std::size_t written = 0;
    const int ok = SSL_write_ex(m_ssl.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()), &written);
    m_inTlsCall = false;
    ERR_clear_error();
    if (ok && m_socketError == 0)
        return;
    m_failed = true;
    const int error = m_socketError != 0 ? m_socketError : EPROTO;
    // Last: the handler may close and dispose of this connection.
    if (m_events.sendFailed)
        m_events.sendFailed(error);
}

void TlsConnection::onSendFailed(int error)
{
    m_socketError = error;
    // Inside a TLS call the call itself reports it when it returns.
    if (m_inTlsCall)
        return;
    if (!m_established) {
        failHandshake(QString::fromLocal8Bit(std::strerror(error)));
        return;
    }
    m_failed = true;
    if (m_events.sendFailed)
        m_events.sendFailed(error);
}

void TlsConnection::onCipherReadable()
{
    if (m_failed)
        return;
    if (!m_established) {
        stepHandshake();
        return;
    }
    decrypt();
    raiseReadable();
}

void TlsConnection::onWake()
{
    if (m_failed)
        return;
    if (!m_established)
        stepHandshake();
    else
        raiseReadable();
}

void TlsConnection::raiseReadable()
{
    // Half a record decrypts to nothing; news the owner has not read yet is
    // not raised again.
    if (m_raised || !m_reading || !hasNews())
        return;
    m_raised = true;
    // Last: the handler may close and dispose of this connection.
    if (m_events.readable)
        m_events.readable();
}

void TlsConnection::stepHandshake()
{
    m_inTlsCall = true;
    const int result = SSL_do_handshake(m_ssl.get());
    m_inTlsCall = false;
    if (result == 1) {
        ERR_clear_error();
        m_established = true;
        m_timeout.stop();
        // The peer may have sent data right behind its last handshake message.
        decrypt();
        scheduleReadable();
        // Last: the handler may close and dispose of this connection.
        if (m_handshake.finished)
            m_handshake.finished();
        return;
    }
    const int error = SSL_get_error(m_ssl.get(), result);
    if (error == SSL_ERROR_WANT_READ && m_socketError == 0) {
        m_tcp.resumeReading();
        return;
    }
    failHandshake(m_socketError != 0 && error == SSL_ERROR_SYSCALL
                      ? QString::fromLocal8Bit(std::strerror(m_socketError))
                      : tlsFailureText(m_ssl.get(), error));
}

void TlsConnection::failHandshake(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_timeout.stop();
    m_wake.stop();
    m_tcp.stopReading();
    ERR_clear_error();
    // Last: the handler may close and dispose of this connection.
    if (m_handshake.failed)
        m_handshake.failed(reason);
}

void TlsConnection::decrypt()
{
    while (m_established && !m_failed && m_end == Ending::Open) {
        const qint64 room = kPlainBound - bytesAvailable();
        if (room <= 0)
            return;
        if (m_plainStart > 0) {
            m_plain.remove(0, m_plainStart);
            m_plainStart = 0;
        }
        const qsizetype held = m_plain.size();
        m_plain.resize(held + room);
        std::size_t got = 0;
        m_inTlsCall = true;
        const int ok = SSL_read_ex(m_ssl.get(), m_plain.data() + held, static_cast<std::size_t>(room), &got);
        m_inTlsCall = false;
        m_plain.resize(held + static_cast<qsizetype>(ok ? got : 0));
        if (ok)
            continue;
        switch (SSL_get_error(m_ssl.get(), 0)) {
        case SSL_ERROR_WANT_READ:
            break;
        case SSL_ERROR_ZERO_RETURN:
            m_end = Ending::Closed;
            break;
        case SSL_ERROR_SYSCALL:
            // The connection ended underneath without the peer's close_notify.
            m_end = m_socketError != 0 ? Ending::Failed : Ending::Closed;
            m_endError = m_socketError;
            break;
        default:
            // A damaged record or the peer's alert: the stream cannot go on.
            m_end = Ending::Failed;
            m_endError = m_socketError != 0 ? m_socketError : EPROTO;
            break;
        }
        ERR_clear_error();
        if (m_plain.isEmpty())
            m_plain.clear();
        return;
    }
}

void TlsConnection::scheduleReadable()
{
    if (m_established && m_reading && !m_raised && hasNews())
        m_wake.start();
}

} // namespace pvx::platform
