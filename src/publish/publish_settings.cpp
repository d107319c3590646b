#include "publish/publish_settings.h"

#include <QHostInfo>

#include "platform/settings_store.h"

namespace Publish {
namespace {

const QString Section = QStringLiteral("Publish");

QString Get(const char* key, const QString& defaultValue = {})
{
    return SettingsStore::GetSetting(Section, QLatin1String(key), defaultValue).trimmed();
}

// "host:port", "[v6]:port", "host" or a bare IPv6 address.
std::pair<QString, QString> Split(const QString& broker)
{
    const QString text = broker.trimmed();
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return {text, {}};
        return {text.mid(1, close - 1), text.mid(close + 1).section(u':', 1)};
    }
    if (text.count(u':') == 1)
        return {text.section(u':', 0, 0), text.section(u':', 1)};
    return {text, {}};
}

} // namespace

QString PublishSettings::host() const
{
    return Split(broker).first;
}

int PublishSettings::port() const
{
    const QString text = Split(broker).second;
    if (text.isEmpty())
        return DefaultPort;
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 1 && value <= 65535 ? value : 0;
}

PublishSettings LoadPublishSettings()
{
    PublishSettings settings;
    settings.enabled = Get("Enabled", QStringLiteral("0")) == QLatin1String("1");
    settings.broker = Get("Broker");
    settings.topic = Get("Topic", settings.topic);
    settings.clientId = Get("ClientId", QHostInfo::localHostName());
    settings.tls = Get("TLS", QStringLiteral("0")) == QLatin1String("1");
    settings.caFile = Get("CAFile");
    settings.user = Get("User");
    return settings;
}

void SavePublishSettings(const PublishSettings& settings)
{
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    SettingsStore::SaveSetting(Section, QStringLiteral("Enabled"), flag(settings.enabled));
    SettingsStore::SaveSetting(Section, QStringLiteral("Broker"), settings.broker.trimmed());
    SettingsStore::SaveSetting(Section, QStringLiteral("Topic"), settings.topic.trimmed());
    SettingsStore::SaveSetting(Section, QStringLiteral("ClientId"), settings.clientId.trimmed());
    SettingsStore::SaveSetting(Section, QStringLiteral("TLS"), flag(settings.tls));
    SettingsStore::SaveSetting(Section, QStringLiteral("CAFile"), settings.caFile.trimmed());
    SettingsStore::SaveSetting(Section, QStringLiteral("User"), settings.user.trimmed());
}

QString CheckBroker(const QString& broker)
{
    PublishSettings settings;
    settings.broker = broker;
    if (settings.host().isEmpty())
        return QStringLiteral("Type the broker as host:port, for example broker.lab:1883.");
    if (settings.port() == 0)
        return QStringLiteral("The broker's port must be a number from 1 to 65535.");
    return {};
}

QString CheckTopic(const QString& topic)
{
    // A prefix with wildcards could not be published to; empty levels are allowed.
    if (topic.trimmed().isEmpty())
        return QStringLiteral("Type a topic prefix, for example quorvane.");
    if (topic.contains(u'+') || topic.contains(u'#'))
        return QStringLiteral("The topic prefix may not contain + or #.");
    return {};
}

} // namespace Publish
