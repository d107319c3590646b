#include "publish/mqtt_link.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>

namespace Publish {
namespace {

constexpr int KeepAliveSeconds = 15;
constexpr int RetrySeconds = 1;
// The broker takes this many unacknowledged messages at once; more wait in the client.
constexpr int InflightWindow = 100;

QString ErrorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

MqttLink::MqttLink(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    static const bool initialised = [] { return mosquitto_lib_init() == MOSQ_ERR_SUCCESS; }();
    Q_UNUSED(initialised);
    m_thread = std::thread([this] { run(); });
}

MqttLink::~MqttLink()
{
    {
        std::lock_guard lock(m_waitMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    std::lock_guard lock(m_clientMutex);
    if (m_client)
        mosquitto_destroy(m_client);
}

int MqttLink::Publish(const QByteArray& topic, const QByteArray& payload)
{
    std::lock_guard lock(m_clientMutex);
    if (!m_client || !m_connected)
        return -1;
    int mid = 0;
    const int rc = mosquitto_publish(m_client, &mid, topic.constData(), int(payload.size()),
                                     payload.constData(), 1, false);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

bool MqttLink::renew(QString& reason)
{
    std::lock_guard lock(m_clientMutex);
    if (m_client)
        mosquitto_destroy(m_client);
    m_client = mosquitto_new(m_options.clientId.toUtf8().constData(), true, this);
    if (!m_client) {
        reason = QStringLiteral("the MQTT client could not be made");
        return false;
    }
    mosquitto_threaded_set(m_client, true);
    mosquitto_connect_callback_set(m_client, &MqttLink::onConnect);
    mosquitto_publish_callback_set(m_client, &MqttLink::onPublish);
    mosquitto_max_inflight_messages_set(m_client, InflightWindow);
    if (!m_options.user.isEmpty()) {
        const QByteArray user = m_options.user.toUtf8(), password = m_options.password.toUtf8();
        mosquitto_username_pw_set(m_client, user.constData(),
                                  m_options.password.isEmpty() ? nullptr : password.constData());
    }
    if (m_options.tls) {
        const QByteArray caFile = QFile::encodeName(m_options.caFile);
        if (!m_options.caFile.isEmpty() && !QFileInfo(m_options.caFile).isReadable()) {
            reason = QStringLiteral("the CA file %1 cannot be read").arg(m_options.caFile);
            return false;
        }
        const int rc =
            m_options.caFile.isEmpty()
                ? mosquitto_tls_set(m_client, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                : mosquitto_tls_set(m_client, caFile.constData(), nullptr, nullptr, nullptr,
                                    nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            reason = QStringLiteral("TLS cannot be set up: ") + ErrorText(rc);
            return false;
        }
    }
    return true;
}

void MqttLink::run()
{
    const QByteArray host = m_options.host.toUtf8();
    while (!m_stop) {
        QString reason;
        m_refusal.clear();
        if (renew(reason)) {
            // Without waiting for the TCP connect: the loop below finishes it, so that a
            // host that never answers cannot hold up the end of the link.
            const int rc = mosquitto_connect_async(m_client, host.constData(), m_options.port,
                                                   KeepAliveSeconds);
            if (rc == MOSQ_ERR_SUCCESS) {
                int loop = MOSQ_ERR_SUCCESS;
                while (!m_stop && loop == MOSQ_ERR_SUCCESS)
                    loop = mosquitto_loop(m_client, 100, 1);
                if (m_stop)
                    break;
                reason = !m_refusal.isEmpty() ? m_refusal : ErrorText(loop);
            } else {
                reason = ErrorText(rc);
            }
        }
        m_connected = false;
        report(reason);
        waitRetry();
    }
    m_connected = false;
    std::lock_guard lock(m_clientMutex);
    if (m_client)
        mosquitto_disconnect(m_client);
}

void MqttLink::report(const QString& reason)
{
    QMetaObject::invokeMethod(
        this, [this, reason] { emit Disconnected(reason); }, Qt::QueuedConnection);
}

void MqttLink::waitRetry()
{
    std::unique_lock lock(m_waitMutex);
    m_wake.wait_for(lock, std::chrono::seconds(RetrySeconds), [this] { return m_stop.load(); });
}

void MqttLink::onConnect(mosquitto*, void* self, int rc)
{
    auto* link = static_cast<MqttLink*>(self);
    if (rc != 0) {
        // The library drops the connection itself; the loop then ends with this reason.
        link->m_refusal = QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    link->m_connected = true;
    QMetaObject::invokeMethod(
        link, [link] { emit link->Connected(); }, Qt::QueuedConnection);
}

void MqttLink::onPublish(mosquitto*, void* self, int mid)
{
    auto* link = static_cast<MqttLink*>(self);
    QMetaObject::invokeMethod(
        link, [link, mid] { emit link->Acknowledged(mid); }, Qt::QueuedConnection);
}

} // namespace Publish
