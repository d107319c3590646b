#pragma once
// A real mosquitto broker on 127.0.0.1 with its own configuration, free port, password
// file and (optionally) TLS certificates made by a CA of its own, and a real subscriber
// (mosquitto_sub) that keeps every message it gets.

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

class MqttBroker
{
public:
    // The program's user (password "secret" until changed) and the consumer's ("lims").
    static constexpr const char* User = "lab";
    static constexpr const char* SubscriberUser = "lims";

    // tls: the listener speaks TLS with a certificate for localhost and 127.0.0.1.
    explicit MqttBroker(bool tls = false);
    ~MqttBroker();

    // Starts it on its port (the same one each time) and waits until it listens.
    bool start();
    // Stops it as an administrator would; it keeps what it holds for persistent sessions
    // (without a limit: a consumer away during a backlog must not lose a message).
    void stop();
    // The password the broker takes for User from now on.
    void setPassword(const QString& password);

    quint16 port() const { return m_port; }
    QString caFile() const { return m_dir.filePath("ca.pem"); }
    QString errorText() const { return m_error; }

private:
    bool makeCertificates();

    QTemporaryDir m_dir;
    bool m_tls;
    quint16 m_port = 0;
    QProcess m_process;
    QString m_error;
};

class MqttSubscriber
{
public:
    // Subscribes with QoS 1 and a session the broker keeps across its restarts.
    MqttSubscriber(const MqttBroker& broker, const QString& topic, bool tls = false);
    ~MqttSubscriber();

    // Where set, gets each message as it comes (topic, payload) instead of messages()
    // keeping it: no JSON parsed, for measuring.
    std::function<void(const QByteArray&, const QByteArray&)> onMessage;
    // Every message so far, in the order it came; the topic is added as "topic".
    const QList<QJsonObject>& messages();
    // Waits until the subscription is in place: a probe published under topicLevel (which
    // the subscription must cover) came back. The probes are not kept.
    bool waitSubscribed(const QString& topicLevel);

private:
    const MqttBroker& m_broker;
    bool m_tls;
    QProcess m_process;
    QByteArray m_partial;
    QList<QJsonObject> m_messages;
};
