#pragma once
// The broker password in the desktop's secret store (never in the settings file). The
// environment variable QUORVANE_MQTT_PASSWORD, when set, overrides it: PCs without a
// secret store, and tests.

#include <QString>
#include <functional>

class QObject;

namespace Publish {

// Calls done with the password ("" when none is stored or the store cannot be reached),
// later, on the user-interface thread; never while context is gone.
void ReadPassword(const QString& user, QObject* context, std::function<void(QString)> done);
// Stores it, or removes it when empty; done tells the reason when that failed.
void WritePassword(const QString& user, const QString& password, QObject* context,
                   std::function<void(QString)> done);

} // namespace Publish
