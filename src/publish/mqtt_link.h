#pragma once
// One connection to the lab's MQTT broker through libmosquitto, kept up by a thread of its
// own: connecting means a name lookup, a TCP connect to a host that may not answer and a
// TLS handshake, none of which may ever hold up the receive path or the user interface.
// The thread looks at its stop flag at least every 100 ms, so ending a link is quick.
// The thread reports through queued signals, so its slots run on the user-interface
// thread; Publish() may be called from there at any time and never waits for the network.
//
// Every connection starts from a fresh client: messages a broken connection left
// unacknowledged are not sent again by the library, the caller sends them again itself
// from its own mark, so there is one place that decides what still has to go.

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;

namespace Publish {

class MqttLink : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString host;
        int port = 1883;
        QString clientId;
        QString user;
        QString password;
        bool tls = false;
        QString caFile; // the system's certificates when empty
    };

    explicit MqttLink(Options options, QObject* parent = nullptr);
    ~MqttLink() override;

    bool IsConnected() const { return m_connected; }
    // Sends with QoS 1; the message id, or -1 while there is no connection.
    int Publish(const QByteArray& topic, const QByteArray& payload);

signals:
    void Connected();
    // The reason, in words for the user; also when a connection attempt failed.
    void Disconnected(const QString& reason);
    // The broker has the message with this id.
    void Acknowledged(int mid);

private:
    void run();
    // A fresh client with the options set; false (and the reason) when they are refused.
    bool renew(QString& reason);
    void report(const QString& reason);
    void waitRetry();

    static void onConnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);

    const Options m_options;
    std::mutex m_clientMutex; // the client may be replaced only while nobody publishes
    mosquitto* m_client = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_stop{false};
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    QString m_refusal; // the broker's answer to the last connect, when it refused
    std::thread m_thread;
};

} // namespace Publish
