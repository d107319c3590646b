#include "publish/password_store.h"

#include <QObject>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include "shell/module_data.h"

namespace Publish {
namespace {

const char* EnvironmentName = "QUORVANE_MQTT_PASSWORD";

QString Key(const QString& user)
{
    return QStringLiteral("mqtt:") + user;
}

} // namespace

void ReadPassword(const QString& user, QObject* context, std::function<void(QString)> done)
{
    if (qEnvironmentVariableIsSet(EnvironmentName) || user.isEmpty()) {
        const QString password = qEnvironmentVariable(EnvironmentName);
        QTimer::singleShot(0, context, [done, password] { done(password); });
        return;
    }
    auto* job = new QKeychain::ReadPasswordJob(Globals::AppTitle);
    job->setAutoDelete(true);
    job->setKey(Key(user));
    QObject::connect(job, &QKeychain::Job::finished, context, [job, done] {
        done(job->error() == QKeychain::NoError ? job->textData() : QString());
    });
    job->start();
}

void WritePassword(const QString& user, const QString& password, QObject* context,
                   std::function<void(QString)> done)
{
    QKeychain::Job* job = nullptr;
    if (password.isEmpty()) {
        job = new QKeychain::DeletePasswordJob(Globals::AppTitle);
    } else {
        auto* write = new QKeychain::WritePasswordJob(Globals::AppTitle);
        write->setTextData(password);
        job = write;
    }
    job->setAutoDelete(true);
    job->setKey(Key(user));
    QObject::connect(job, &QKeychain::Job::finished, context, [job, done] {
        const bool failed =
            job->error() != QKeychain::NoError && job->error() != QKeychain::EntryNotFound;
        done(failed ? job->errorString() : QString());
    });
    job->start();
}

} // namespace Publish
