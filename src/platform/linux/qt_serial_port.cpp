#include "platform/linux/qt_serial_port.h"

#include "platform/linux/device_path.h"
#include "platform/linux/serial_line_state.h"

#include <QFile>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace pvx::platform {

namespace {

QSerialPort::Parity qtParity(Parity parity)
{
    switch (parity) {
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Mark:
        return QSerialPort::MarkParity;
    case Parity::Space:
        return QSerialPort::SpaceParity;
    case Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QString parityName(Parity parity)
{
    switch (parity) {
    case Parity::Even:
        return QStringLiteral("even parity");
    case Parity::Odd:
        return QStringLiteral("odd parity");
    case Parity::Mark:
        return QStringLiteral("mark parity");
    case Parity::Space:
        return QStringLiteral("space parity");
    case Parity::None:
        break;
    }
    return QStringLiteral("no parity");
}

bool parityMatches(Parity parity, const SerialLineState &line)
{
    switch (parity) {
    case Parity::Even:
        return line.parity && !line.parityOdd && !line.parityStick;
    case Parity::Odd:
        return line.parity && line.parityOdd && !line.parityStick;
    case Parity::Mark:
        return line.parity && line.parityOdd && line.parityStick;
    case Parity::Space:
        return line.parity && !line.parityOdd && line.parityStick;
    case Parity::None:
        break;
    }
    return !line.parity;
}

QSerialPort::FlowControl qtFlowControl(Handshaking handshaking)
{
    switch (handshaking) {
    case Handshaking::XonXoff:
        return QSerialPort::SoftwareControl;
    case Handshaking::RtsCts:
        return QSerialPort::HardwareControl;
    case Handshaking::None:
        break;
    }
    return QSerialPort::NoFlowControl;
}

QString flowControlName(Handshaking handshaking)
{
    switch (handshaking) {
    case Handshaking::XonXoff:
        return QStringLiteral("software flow control");
    case Handshaking::RtsCts:
        return QStringLiteral("hardware flow control");
    case Handshaking::None:
        break;
    }
    return QStringLiteral("no flow control");
}

QString stopBitsName(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::OneAndHalf:
        return QStringLiteral("1.5 stop bits");
    case StopBits::Two:
        return QStringLiteral("2 stop bits");
    case StopBits::One:
        break;
    }
    return QStringLiteral("1 stop bit");
}

// A driver may report the rate its divisor actually gives; within 2 % the
// line still works, as UART receivers tolerate that much.
bool baudMatches(qint32 wanted, std::int64_t actual)
{
    return std::llabs(actual - wanted) * 50 <= wanted;
}

// Qt takes the text of a failed read from errno even when the read just
// ended (a hang-up reads 0 bytes), so the text would name whatever call
// failed before: say what happened instead.
QString failureReason(QSerialPort::SerialPortError error, const QString &qtText)
{
    switch (error) {
    case QSerialPort::ResourceError:
        return QStringLiteral("the device is no longer available");
    case QSerialPort::ReadError:
        return QStringLiteral("the device hung up or was removed");
    case QSerialPort::WriteError:
        return QStringLiteral("writing to the device failed");
    default:
        return qtText;
    }
}

} // namespace

ErrorCode serialOpenRefusal(QSerialPort::SerialPortError error, const QString &reason, bool mayReadWrite)
{
    // Qt keeps the system's reason only as its text: a node whose device is
    // not there (ENODEV, ENXIO) is told apart by it.
    if (error == QSerialPort::DeviceNotFoundError || reason == qt_error_string(ENODEV)
        || reason == qt_error_string(ENXIO))
        return ErrorCode::NotFound;
    switch (error) {
    case QSerialPort::PermissionError:
        // Refused although we may read and write it: another program holds
        // the lock file or the device itself.
        return mayReadWrite ? ErrorCode::Busy : ErrorCode::AccessDenied;
    case QSerialPort::UnsupportedOperationError:
        // The terminal calls of the open itself failed.
        return ErrorCode::Unsupported;
    default:
        return ErrorCode::IoError;
    }
}

QtSerialPort::QtSerialPort() : m_port(new QSerialPort)
{
    QObject::connect(m_port, &QSerialPort::readyRead, m_port, [this] {
        m_gate.raise([this] {
            if (auto handler = m_events.readyRead)
                handler();
        });
    });
    QObject::connect(m_port, &QSerialPort::errorOccurred, m_port,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
    QObject::connect(&m_writable, &QSocketNotifier::activated, &m_writable, [this] { onWritable(); });
}

QtSerialPort::~QtSerialPort()
{
    m_writable.setEnabled(false);
    m_port->disconnect();
    if (m_port->isOpen())
        m_port->close();
    m_gate.dispose(m_port);
}

void QtSerialPort::setEvents(Events events)
{
    m_events = std::move(events);
}

Result<void> QtSerialPort::open(const QString &device, const SerialSettings &settings)
{
    m_kind.reset();
    return openDevice(device, settings);
}

Result<void> QtSerialPort::reopen(const QString &device, const SerialSettings &settings)
{
    return openDevice(device, settings);
}

Result<void> QtSerialPort::openDevice(const QString &device, const SerialSettings &settings)
{
    EventGate::CallScope call(m_gate);
    close();
    if (device.trimmed().isEmpty())
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("No serial device is set"));
    m_device = serialDevicePath(device);
    if (auto checked = checkDevicePath(); !checked)
        return checked;

    m_port->setPortName(m_device);
    m_port->setReadBufferSize(std::max<qint64>(settings.driverBufferSize, 0));
    if (!m_port->open(QIODevice::ReadWrite)) {
        const Error error = openError();
        m_port->clearError();
        return error;
    }
    // The path may have changed since it was looked at: what was opened counts.
    struct stat opened {};
    auto configured = ::fstat(static_cast<int>(m_port->handle()), &opened) == 0
                          ? checkDevice(opened)
                          : deviceError(ErrorCode::IoError, qt_error_string(errno));
    if (configured)
        configured = configure(settings);
    if (!configured) {
        close();
        return configured;
    }
    m_kind = deviceKindOf(opened.st_rdev);
    // Switched off until a write leaves bytes over.
    m_writable.setSocket(m_port->handle());
    return {};
}

Result<void> QtSerialPort::applySettings(const SerialSettings &settings)
{
    EventGate::CallScope call(m_gate);
    if (!m_port->isOpen())
        return makeError(ErrorCode::WrongState, QStringLiteral("The serial port is not open"));
    // The port sets the line field by field, so a refusal halfway would
    // leave a mix of old and new: put the whole line back as it was.
    const int fd = static_cast<int>(m_port->handle());
    const auto before = saveLineSettings(fd);
    auto configured = configure(settings);
    if (!configured) {
        if (before)
            (void)restoreLineSettings(fd, *before);
        m_port->clearError();
    }
    return configured;
}

Result<void> QtSerialPort::configure(const SerialSettings &settings)
{
    const auto refuse = [this](const QString &what) {
        return deviceError(ErrorCode::Unsupported, QStringLiteral("the device refuses %1").arg(what));
    };
    const QString baud = QStringLiteral("%1 baud").arg(settings.baudRate);
    const QString dataBits = QStringLiteral("%1 data bits").arg(settings.dataBits);
    const QString parity = parityName(settings.parity);
    const QString stopBits = stopBitsName(settings.stopBits);
    const QString flowControl = flowControlName(settings.handshaking);

    if (settings.baudRate <= 0)
        return refuse(baud);
    if (settings.dataBits < 5 || settings.dataBits > 8)
        return refuse(dataBits);
    // Linux line settings have no 1.5 stop bits; using 1 or 2 instead would
    // garble the line without a word.
    if (settings.stopBits == StopBits::OneAndHalf)
        return refuse(stopBits);

    if (!m_port->setBaudRate(settings.baudRate))
        return refuse(baud);
    if (!m_port->setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)))
        return refuse(dataBits);
    if (!m_port->setParity(qtParity(settings.parity)))
        return refuse(parity);
    if (!m_port->setStopBits(settings.stopBits == StopBits::Two ? QSerialPort::TwoStop : QSerialPort::OneStop))
        return refuse(stopBits);
    if (!m_port->setFlowControl(qtFlowControl(settings.handshaking)))
        return refuse(flowControl);

    // Drivers accept settings they cannot do and keep their own (a
    // pseudo-terminal stays at 8 data bits without parity): believe only
    // what the driver reports back.
    const auto line = readSerialLineState(m_port->handle());
    if (!line)
        return deviceError(ErrorCode::Unsupported, QStringLiteral("not a serial device"));
    if (!baudMatches(settings.baudRate, line->baudRate))
        return refuse(baud);
    if (line->dataBits != settings.dataBits)
        return refuse(dataBits);
    if (!parityMatches(settings.parity, *line))
        return refuse(parity);
    if (line->twoStopBits != (settings.stopBits == StopBits::Two))
        return refuse(stopBits);
    if (line->rtsCts != (settings.handshaking == Handshaking::RtsCts)
        || line->xonXoff != (settings.handshaking == Handshaking::XonXoff))
        return refuse(flowControl);

    // A device without modem lines cannot take DTR, and needs none.
    m_port->setDataTerminalReady(settings.dtr);
    m_port->clearError();
    return {};
}

Result<void> QtSerialPort::checkDevicePath() const
{
    struct stat info {};
    if (::stat(QFile::encodeName(m_device).constData(), &info) != 0) {
        const int error = errno;
        return deviceError(error == ENOENT ? ErrorCode::NotFound : ErrorCode::AccessDenied, qt_error_string(error));
    }
    if (S_ISDIR(info.st_mode))
        return deviceError(ErrorCode::InvalidArgument, qt_error_string(EISDIR));
    return checkDevice(info);
}

Result<void> QtSerialPort::checkDevice(const struct stat &info) const
{
    if (!S_ISCHR(info.st_mode))
        return deviceError(ErrorCode::Unsupported, QStringLiteral("not a serial device"));
    if (const auto refusal = serialDeviceRefusal(info.st_rdev, m_kind))
        return deviceError(ErrorCode::Unsupported, *refusal);
    return {};
}

Error QtSerialPort::openError() const
{
    const QString reason = m_port->errorString();
    const bool mayReadWrite = ::access(QFile::encodeName(m_device).constData(), R_OK | W_OK) == 0;
    const ErrorCode code = serialOpenRefusal(m_port->error(), reason, mayReadWrite);
    switch (code) {
    case ErrorCode::Busy:
        return deviceError(code, QStringLiteral("the device is in use"));
    case ErrorCode::Unsupported:
        return deviceError(code, QStringLiteral("not a serial device"));
    default:
        return deviceError(code, reason);
    }
}

Error QtSerialPort::deviceError(ErrorCode code, const QString &reason) const
{
    return makeError(code, QStringLiteral("%1: %2").arg(m_device, reason));
}

void QtSerialPort::close()
{
    EventGate::CallScope call(m_gate);
    m_writable.setEnabled(false);
    m_unsent.clear();
    if (m_port->isOpen())
        m_port->close();
    m_port->clearError();
    m_gate.dropQueued();
}

bool QtSerialPort::isOpen() const
{
    return m_port->isOpen();
}

qint64 QtSerialPort::bytesAvailable() const
{
    return m_port->bytesAvailable();
}

QByteArray QtSerialPort::read(qint64 maxBytes)
{
    EventGate::CallScope call(m_gate);
    return maxBytes > 0 ? m_port->read(maxBytes) : QByteArray();
}

void QtSerialPort::discardInput()
{
    EventGate::CallScope call(m_gate);
    if (m_port->isOpen())
        m_port->clear(QSerialPort::Input);
}

void QtSerialPort::discardOutput()
{
    EventGate::CallScope call(m_gate);
    m_writable.setEnabled(false);
    m_unsent.clear();
    if (m_port->isOpen())
        m_port->clear(QSerialPort::Output);
}

std::optional<ModemLines> QtSerialPort::modemLines() const
{
    // Asked of the kernel directly: QSerialPort reports a refusal as a port
    // error, and a pseudo-terminal refuses.
    int bits = 0;
    if (!m_port->isOpen() || ::ioctl(static_cast<int>(m_port->handle()), TIOCMGET, &bits) != 0)
        return std::nullopt;
    return ModemLines{.cts = (bits & TIOCM_CTS) != 0,
                      .dsr = (bits & TIOCM_DSR) != 0,
                      .ri = (bits & TIOCM_RI) != 0,
                      .cd = (bits & TIOCM_CD) != 0};
}

bool QtSerialPort::setControlLine(ControlLine line, bool on)
{
    EventGate::CallScope call(m_gate);
    if (!m_port->isOpen())
        return false;
    const int fd = static_cast<int>(m_port->handle());
    if (line == ControlLine::Break)
        return ::ioctl(fd, on ? TIOCSBRK : TIOCCBRK) == 0;
    int bits = line == ControlLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

qint64 QtSerialPort::write(const QByteArray &bytes)
{
    EventGate::CallScope call(m_gate);
    if (!m_port->isOpen() || bytes.isEmpty())
        return 0;
    // Behind unsent bytes these wait their turn: the writable event sends them.
    qint64 written = 0;
    if (m_unsent.isEmpty()) {
        written = writeToDevice(bytes);
        if (written < 0)
            return 0;
    }
    if (written < bytes.size()) {
        // Copied: the caller's bytes may be a view of its own buffer.
        m_unsent.append(bytes.constData() + written, bytes.size() - written);
        m_writable.setEnabled(true);
    }
    return bytes.size();
}

qint64 QtSerialPort::bytesToWrite() const
{
    return m_unsent.size();
}

qint64 QtSerialPort::writeToDevice(QByteArrayView bytes)
{
    for (;;) {
        const ssize_t written = ::write(static_cast<int>(m_port->handle()), bytes.data(), static_cast<std::size_t>(bytes.size()));
        if (written >= 0)
            return written;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno == EINTR)
            continue;
        const bool gone = errno == EIO || errno == ENXIO || errno == ENODEV;
        fail(failureReason(gone ? QSerialPort::ResourceError : QSerialPort::WriteError, qt_error_string(errno)));
        return -1;
    }
}

void QtSerialPort::onWritable()
{
    const qint64 written = writeToDevice(m_unsent);
    if (written < 0)
        return;
    m_unsent.remove(0, written);
    m_writable.setEnabled(!m_unsent.isEmpty());
    if (written > 0) {
        m_gate.raise([this, written] {
            if (auto handler = m_events.bytesWritten)
                handler(written);
        });
    }
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    // Errors inside our own calls are those calls' results.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || m_gate.inCall()
        || !m_port->isOpen())
        return;
    fail(failureReason(error, m_port->errorString()));
}

void QtSerialPort::fail(const QString &reason)
{
    // A device that went away reports an error on every attempt: close at
    // the first one so that the loop stops, and tell the owner once.
    const Error failure = deviceError(ErrorCode::IoError, reason);
    m_writable.setEnabled(false);
    m_unsent.clear();
    m_port->close();
    m_port->clearError();
    m_gate.dropQueued();
    m_gate.raise([this, failure] {
        if (auto handler = m_events.failed)
            handler(failure);
    });
}

} // namespace pvx::platform
