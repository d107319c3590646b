#include "support/mqtt_broker.h"

#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

#include "support/child_process.h"

namespace {

QString Program(const QString& name)
{
    // Debian puts the broker in /usr/sbin, which a user's PATH may leave out.
    const QString found = QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/bin"});
    return found.isEmpty() ? QStandardPaths::findExecutable(name) : found;
}

bool Run(const QString& program, const QStringList& args, QString* error)
{
    QProcess process;
    process.start(Program(program), args);
    const bool ok = process.waitForFinished(60000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok && error)
        *error = program + ": " + QString::fromLocal8Bit(process.readAllStandardError());
    return ok;
}

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

MqttBroker::MqttBroker(bool tls) : m_tls(tls), m_port(FreePort())
{
    QFile config(m_dir.filePath("mosquitto.conf"));
    if (!config.open(QIODevice::WriteOnly) || (tls && !makeCertificates())) {
        m_error += " (configuration not written)";
        return;
    }
    // Started as root (CI), it would switch to the mosquitto user, who cannot read the
    // private folder; as anyone else it stays who it is.
    const passwd* self = ::getpwuid(::geteuid());
    QByteArray text = "user " + QByteArray(self ? self->pw_name : "root") + "\n";
    text += "per_listener_settings false\nallow_anonymous false\n"
            "persistence true\nmax_queued_messages 0\n";
    text += "persistence_location " + QFile::encodeName(m_dir.path()) + "/\n";
    text += "password_file " + QFile::encodeName(m_dir.filePath("passwd")) + "\n";
    text += "listener " + QByteArray::number(m_port) + " 127.0.0.1\n";
    if (tls) {
        for (const auto& [key, file] :
             {std::pair{"cafile", "ca.pem"}, {"certfile", "server.pem"}, {"keyfile", "server.key"}})
            text += QByteArray(key) + ' ' + QFile::encodeName(m_dir.filePath(file)) + '\n';
    }
    config.write(text);
    config.close();
    Run("mosquitto_passwd", {"-c", "-b", m_dir.filePath("passwd"), SubscriberUser, "lims"},
        &m_error);
    setPassword("secret");
}

MqttBroker::~MqttBroker()
{
    stop();
}

bool MqttBroker::makeCertificates()
{
    const auto path = [this](const char* name) { return m_dir.filePath(name); };
    QFile extensions(path("san.cnf"));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") < 0)
        return false;
    extensions.close();
    return Run("openssl",
               {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                "/CN=Test Lab CA", "-keyout", path("ca.key"), "-out", path("ca.pem")},
               &m_error) &&
           Run("openssl",
               {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout",
                path("server.key"), "-out", path("server.csr")},
               &m_error) &&
           Run("openssl",
               {"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey",
                path("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", path("san.cnf"),
                "-out", path("server.pem")},
               &m_error);
}

bool MqttBroker::start()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(Program("mosquitto"), {"-c", m_dir.filePath("mosquitto.conf")});
    if (!m_process.waitForStarted(10000)) {
        m_error = "mosquitto did not start: " + m_process.errorString();
        return false;
    }
    // Listening once a connection is taken.
    for (int attempt = 0; attempt < 200 && m_process.state() == QProcess::Running; ++attempt) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(100))
            return true;
        m_process.waitForFinished(50);
    }
    m_error = "mosquitto does not listen on port " + QString::number(m_port);
    return false;
}

void MqttBroker::stop()
{
    StopChildProcess(m_process);
}

void MqttBroker::setPassword(const QString& password)
{
    Run("mosquitto_passwd", {"-b", m_dir.filePath("passwd"), User, password}, &m_error);
    if (m_process.state() == QProcess::Running)
        ::kill(pid_t(m_process.processId()), SIGHUP); // reloads the password file
}

MqttSubscriber::MqttSubscriber(const MqttBroker& broker, const QString& topic, bool tls)
    : m_broker(broker), m_tls(tls)
{
    QStringList args{"-h",         tls ? "localhost" : "127.0.0.1",
                     "-p",         QString::number(broker.port()),
                     "-u",         MqttBroker::SubscriberUser,
                     "-P",         "lims",
                     "-q",         "1",
                     "-c",         "-i",
                     "subscriber", "-v",
                     "-t",         topic};
    if (tls)
        args << "--cafile" << broker.caFile();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
        if (onMessage)
            messages();
    });
    m_process.start(Program("mosquitto_sub"), args);
    m_process.waitForStarted(10000);
}

MqttSubscriber::~MqttSubscriber()
{
    StopChildProcess(m_process);
}

const QList<QJsonObject>& MqttSubscriber::messages()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype start = 0, end;
    for (; (end = m_partial.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArray line = m_partial.mid(start, end - start);
        const qsizetype space = line.indexOf(' ');
        if (onMessage) {
            onMessage(line.left(space), line.mid(space + 1));
            continue;
        }
        QJsonObject message = QJsonDocument::fromJson(line.mid(space + 1)).object();
        message.insert("topic", QString::fromUtf8(line.left(space)));
        m_messages.append(message);
    }
    m_partial.remove(0, start);
    return m_messages;
}

bool MqttSubscriber::waitSubscribed(const QString& topicLevel)
{
    QStringList args{"-h", m_tls ? "localhost" : "127.0.0.1",
                     "-p", QString::number(m_broker.port()),
                     "-u", MqttBroker::SubscriberUser,
                     "-P", "lims",
                     "-q", "1",
                     "-t", topicLevel,
                     "-m", "{}"};
    if (m_tls)
        args << "--cafile" << m_broker.caFile();
    for (int attempt = 0; attempt < 50; ++attempt) {
        Run("mosquitto_pub", args, nullptr);
        if (QTest::qWaitFor([this] { return !messages().isEmpty(); }, 200)) {
            m_messages.clear();
            return true;
        }
    }
    return false;
}
