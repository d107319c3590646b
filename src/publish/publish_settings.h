#pragma once
// Where and how readings are published: the section [Publish] of the settings store.
// The password is never stored there: it lives in the desktop's secret store, and the
// environment variable QUORVANE_MQTT_PASSWORD overrides it (headless PCs, tests).

#include <QString>

namespace Publish {

constexpr int DefaultPort = 1883;

struct PublishSettings
{
    bool enabled = false;
    QString broker; // host:port as the user typed it
    QString topic = QStringLiteral("quorvane");
    QString clientId;
    bool tls = false;
    QString caFile;
    QString user;

    QString host() const;
    int port() const; // DefaultPort when the broker names none; 0 when it is not a port
};

PublishSettings LoadPublishSettings();
void SavePublishSettings(const PublishSettings& settings);
// "" when the broker text is usable, else what is wrong with it, for the user.
QString CheckBroker(const QString& broker);
// Characters a topic level may not hold, or "" when the prefix is usable.
QString CheckTopic(const QString& topic);

} // namespace Publish
