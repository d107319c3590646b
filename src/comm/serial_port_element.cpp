#include "comm/serial_port_element.h"

#include <QRegularExpression>
#include <cerrno>
#include <optional>
#include <utility>

#include "comm/serial_devices.h"
#include "platform/device_permission.h"
#include "platform/serial_device.h"
#include "shell/pending_error.h"

namespace {

const QString InvalidPropertyValue = QStringLiteral("Invalid property value");

struct LineSettings
{
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QString text; // normalised, as it reads back
};

std::optional<LineSettings> parseSettings(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*([0-9]+)\s*,\s*([eonms])\s*,\s*([5-8])\s*,\s*(1|1\.5|2)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;

    LineSettings line;
    bool ok = false;
    line.baud = match.captured(1).toInt(&ok);
    if (!ok || line.baud <= 0)
        return std::nullopt;
    const QString parity = match.captured(2).toLower();
    switch (parity.at(0).toLatin1()) {
    case 'e':
        line.parity = QSerialPort::EvenParity;
        break;
    case 'o':
        line.parity = QSerialPort::OddParity;
        break;
    case 'm':
        line.parity = QSerialPort::MarkParity;
        break;
    case 's':
        line.parity = QSerialPort::SpaceParity;
        break;
    default:
        line.parity = QSerialPort::NoParity;
        break;
    }
    line.dataBits = QSerialPort::DataBits(match.captured(3).toInt());
    const QString stop = match.captured(4);
    line.stopBits = stop == u"2"     ? QSerialPort::TwoStop
                    : stop == u"1.5" ? QSerialPort::OneAndHalfStop
                                     : QSerialPort::OneStop;
    line.text = QStringLiteral("%1,%2,%3,%4")
                    .arg(QString::number(line.baud), parity, match.captured(3), stop);
    return line;
}

// The port can do one kind of flow control only; "both" keeps RTS/CTS, which is what
// actually holds a balance back when the receiver falls behind.
QSerialPort::FlowControl flowControlOf(int code)
{
    switch (code) {
    case 1:
        return QSerialPort::SoftwareControl;
    case 2:
    case 3:
        return QSerialPort::HardwareControl;
    default:
        return QSerialPort::NoFlowControl;
    }
}

int openErrorNumber(QSerialPort::SerialPortError error, int systemError)
{
    if (systemError == EACCES || systemError == EPERM)
        return SerialPortElement::errPermissionDenied;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return SerialPortElement::errInvalidPort;
    case QSerialPort::PermissionError: // held by another program
    case QSerialPort::OpenError:
        return SerialPortElement::errPortAlreadyOpen;
    default:
        return SerialPortElement::errCommState;
    }
}

bool setLine(QSerialPort& port, const LineSettings& line)
{
    // Each setter runs even after one failed, so a closed port stores every value.
    bool ok = port.setBaudRate(line.baud);
    ok = port.setParity(line.parity) && ok;
    ok = port.setDataBits(line.dataBits) && ok;
    ok = port.setStopBits(line.stopBits) && ok;
    return ok;
}

} // namespace

SerialPortElement::SerialPortElement(int index, QObject* parent)
    : QObject(parent), m_index(index), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &SerialPortElement::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialPortElement::onError);
}

SerialPortElement::~SerialPortElement()
{
    // Nothing may reach the owner's handlers while the element is going away.
    m_port->disconnect(this);
    if (m_port->isOpen())
        m_port->close();
}

bool SerialPortElement::SetCommPort(int port)
{
    if (port < 1 || port > 255) {
        Globals::Err.Raise(errInvalidPropertyValue, InvalidPropertyValue);
        return false;
    }
    if (port != m_commPort && PortOpen()) {
        Globals::Err.Raise(errPortAlreadyOpen, QStringLiteral("Port already open"));
        return false;
    }
    m_commPort = port;
    return true;
}

bool SerialPortElement::SetSettings(const QString& settings)
{
    const std::optional<LineSettings> line = parseSettings(settings);
    if (!line) {
        Globals::Err.Raise(errInvalidPropertyValue, InvalidPropertyValue);
        return false;
    }
    if (m_port->isOpen() && !setLine(*m_port, *line)) {
        // The driver refused a value: put the port back as it was.
        const QString description = m_port->errorString();
        setLine(*m_port, *parseSettings(m_settings));
        Globals::Err.Raise(errCommState, description);
        return false;
    }
    m_settings = line->text;
    return true;
}

std::optional<QString> SerialPortElement::NormalisedSettings(const QString& settings)
{
    const std::optional<LineSettings> line = parseSettings(settings);
    return line ? std::optional<QString>(line->text) : std::nullopt;
}

bool SerialPortElement::SetHandshaking(int code)
{
    if (code < 0 || code > 3) {
        Globals::Err.Raise(errInvalidPropertyValue, InvalidPropertyValue);
        return false;
    }
    if (m_port->isOpen() && !m_port->setFlowControl(flowControlOf(code))) {
        const QString description = m_port->errorString();
        m_port->setFlowControl(flowControlOf(m_handshaking));
        Globals::Err.Raise(errCommState, description);
        return false;
    }
    m_handshaking = code;
    return true;
}

bool SerialPortElement::SetRThreshold(int threshold)
{
    if (threshold < 0) {
        Globals::Err.Raise(errInvalidPropertyValue, InvalidPropertyValue);
        return false;
    }
    m_rThreshold = threshold;
    return true;
}

bool SerialPortElement::PortOpen()
{
    if (!m_port->isOpen())
        return false;
    if (Platform::OpenSerialDeviceGone(m_openedDevice)) {
        dropPort();
        return false;
    }
    return true;
}

bool SerialPortElement::SetPortOpen(bool open)
{
    if (!open) {
        if (m_port->isOpen())
            m_port->close();
        m_rescued.clear();
        return true;
    }
    if (PortOpen())
        return true;
    if (m_port->isOpen())
        dropPort();

    m_openedDevice = DeviceName();
    const QString refusal = Platform::SerialDeviceRefusal(m_openedDevice);
    if (!refusal.isEmpty()) {
        Globals::Err.Raise(errInvalidPort, refusal);
        return false;
    }
    m_port->setPortName(m_openedDevice);
    setLine(*m_port, *parseSettings(m_settings));
    m_port->setFlowControl(flowControlOf(m_handshaking));
    if (!m_port->open(QIODevice::ReadWrite)) {
        // The port reports a refused open only as a category; what the user must do differs
        // between a device they may not use and one that is not there.
        const int systemError = Platform::SerialDeviceAccessError(m_openedDevice);
        m_reason = OpenErrorDescription(m_openedDevice, systemError, m_port->errorString());
        Globals::Err.Raise(openErrorNumber(m_port->error(), systemError), m_reason);
        return false;
    }
    m_reason.clear();
    return true;
}

bool SerialPortElement::SetOutput(const QString& text)
{
    if (!PortOpen()) {
        Globals::Err.Raise(errPortNotOpen, QStringLiteral("Port is not open"));
        return false;
    }
    if (m_port->write(text.toLatin1()) < 0)
        return raisePortError(errCommState);
    return true;
}

QString SerialPortElement::Input()
{
    QByteArray bytes = std::exchange(m_rescued, {});
    if (m_port->isOpen())
        bytes += m_port->readAll();
    return QString::fromLatin1(bytes);
}

QString SerialPortElement::OpenErrorDescription(const QString& device, int systemError,
                                                const QString& portText)
{
    switch (systemError) {
    case EACCES:
    case EPERM:
        return Platform::DevicePermissionAdvice(device);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("No device %1: is the adapter plugged in? Section [Ports] of the "
                              "settings names the device of each port")
            .arg(device);
    default:
        return QStringLiteral("%1 (%2)").arg(portText, device);
    }
}

bool SerialPortElement::OpenOnAnotherDevice() const
{
    return m_port->isOpen() && m_openedDevice != DeviceName();
}

QString SerialPortElement::DeviceName() const
{
    return Communication_HW::ComPortDevice(m_commPort);
}

void SerialPortElement::onReadyRead()
{
    if (m_rThreshold < 1)
        return;
    m_commEvent = comEvReceive;
    emit OnComm(m_index);
}

void SerialPortElement::onError(QSerialPort::SerialPortError error)
{
    // After a hang-up the port keeps signalling a zero-byte read and delivers nothing
    // more; only letting it go gives the next check a chance to reopen it.
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        if (m_port->isOpen())
            dropPort();
        break;
    default:
        break;
    }
}

void SerialPortElement::dropPort()
{
    // What arrived before the failure is still owed to the reader.
    m_rescued += m_port->readAll();
    m_port->close();
}

bool SerialPortElement::raisePortError(int number)
{
    Globals::Err.Raise(number, m_port->errorString());
    return false;
}
