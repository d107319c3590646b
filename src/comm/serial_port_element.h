#pragma once
// One serial port element of the MSComm array: a small object over QSerialPort with the
// properties the channel code relies on. It owns its port and has no widget. A failing
// operation records its error number and description in Globals::Err and returns false;
// nothing is thrown. Bytes and text map one to one (Latin-1) in both directions.
//
// COM port n is the device named by the settings store's section "Ports", key "COM<n>";
// without that key it is /dev/ttyS<n-1> on Linux and COMn on Windows.

#include <QObject>
#include <QSerialPort>
#include <QString>

class SerialPortElement : public QObject
{
    Q_OBJECT
public:
    // Event codes of the communication notification.
    static constexpr int comEvReceive = 2;

    explicit SerialPortElement(int index, QObject* parent = nullptr);
    ~SerialPortElement() override;

    int Index() const { return m_index; }

    int CommPort() const { return m_commPort; }
    bool SetCommPort(int port);

    // Settings text such as " 9600,e,7,1"; a text that is refused keeps the previous one.
    QString Settings() const { return m_settings; }
    bool SetSettings(const QString& settings);

    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both.
    int Handshaking() const { return m_handshaking; }
    bool SetHandshaking(int code);

    int RThreshold() const { return m_rThreshold; }
    void SetRThreshold(int threshold) { m_rThreshold = threshold; }

    // Reads false once the port has failed in a way it cannot recover from.
    bool PortOpen();
    bool SetPortOpen(bool open);

    bool SetOutput(const QString& text);
    // Everything received and not yet read; reading consumes it.
    QString Input();
    int CommEvent() const { return m_commEvent; }

    // The device path that CommPort maps to.
    QString DeviceName() const;

    QString Tag;

signals:
    // Emitted on the user-interface thread; CommEvent() tells what happened.
    void OnComm(int index);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    int m_index;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_handshaking = 0;
    int m_rThreshold = 0;
    int m_commEvent = 0;
    QSerialPort* m_port;
};
