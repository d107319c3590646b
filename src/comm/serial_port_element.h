#pragma once
// One serial port element of the MSComm array: a small object over QSerialPort with the
// properties the channel code relies on. It owns its port and has no widget. A failing
// operation records its error number and description in Globals::Err and returns false;
// nothing is thrown. Bytes and text map one to one (Latin-1) in both directions.
//
// COM port n is the device that Communication_HW::ComPortDevice(n) names.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <optional>

class SerialPortElement : public QObject
{
    Q_OBJECT
public:
    // Event codes of the communication notification.
    static constexpr int comEvReceive = 2;

    // Error numbers left in Globals::Err.
    static constexpr int errInvalidPropertyValue = 380;
    static constexpr int errPortAlreadyOpen = 8005;
    static constexpr int errPortNotOpen = 8012;
    static constexpr int errInvalidPort = 8002;
    static constexpr int errCommState = 8015;
    static constexpr int errPermissionDenied = 70;

    explicit SerialPortElement(int index, QObject* parent = nullptr);
    ~SerialPortElement() override;

    int Index() const { return m_index; }

    // 1..255; changing it is refused while the port is open.
    int CommPort() const { return m_commPort; }
    bool SetCommPort(int port);

    // Settings text "baud,parity,data bits,stop bits" such as " 9600,e,7,1": leading blanks
    // allowed, parity e/o/n/m/s in any case, data bits 5-8, stop bits 1, 1.5 or 2. It reads
    // back normalised ("9600,e,7,1"). A text that is refused keeps the previous one. An
    // open port takes the new values at once.
    QString Settings() const { return m_settings; }
    bool SetSettings(const QString& settings);
    // A settings text as the port reads it back once set, or nothing when it would be refused.
    static std::optional<QString> NormalisedSettings(const QString& settings);

    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both. The port can do only one kind of flow
    // control, so "both" runs as RTS/CTS, which is what keeps a balance from overrunning.
    int Handshaking() const { return m_handshaking; }
    bool SetHandshaking(int code);

    // 0: no receive notifications; 1 or more: a notification for every arrival.
    int RThreshold() const { return m_rThreshold; }
    bool SetRThreshold(int threshold);

    // Reads false once the port has failed in a way it cannot recover from (device gone,
    // read error, hang-up): such a port is let go here, so the next check reopens it or
    // reports it.
    bool PortOpen();
    bool SetPortOpen(bool open);

    bool SetOutput(const QString& text);
    // Everything received and not yet read; reading consumes it.
    QString Input();
    int CommEvent() const { return m_commEvent; }

    // The device path that CommPort maps to.
    QString DeviceName() const;
    // True while the port is open on a device its number no longer maps to.
    bool OpenOnAnotherDevice() const;

    // The error description of a port that did not open: the device, and for a device the
    // user may not use or that is not there (the system error number) what to do about it;
    // otherwise the port's own text.
    static QString OpenErrorDescription(const QString& device, int systemError,
                                        const QString& portText);

    // Why the port last failed to open, as the open's error description; empty once it
    // opened.
    QString Reason() const { return m_reason; }

    QString Tag;

signals:
    // Emitted on the user-interface thread; CommEvent() tells what happened.
    void OnComm(int index);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void dropPort();
    bool raisePortError(int number);

    int m_index;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_handshaking = 0;
    int m_rThreshold = 0;
    int m_commEvent = 0;
    // The device the port was opened on, to notice when it disappears.
    QString m_openedDevice;
    // Bytes rescued from a port that failed, handed out by the next Input().
    QByteArray m_rescued;
    QString m_reason;
    QSerialPort* m_port;
};
