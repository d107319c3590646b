// The whole program under a steady load: N loopback TCP balances and M pty balances, each
// sending numbered 26-character lines at a given rate for a given time, from a feeder
// process of their own (this program started again with --feed), so that only the
// collector's own work counts. Prints per run: chars/s, processor seconds per MB, processor
// % of one core, resident growth per 100,000 lines, bytes written to the disk per byte
// received, lines lost or out of order, and the lag of a 10 ms timer. For a single pty it runs
// picocom inside xterm on the same stream as well, when both are installed, and prints the same
// figures for it. With publishing on, a real broker on 127.0.0.1 and a subscriber take every
// reading: it adds the publish latency from a line's sending to the subscriber (median and
// 99th percentile) and, for a broker that is away while the balances send, the backlog the
// program drains per second once it is back.
//
//   bench_load                     every scenario below
//   bench_load <name> [seconds]    the scenarios whose name contains <name>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "platform/settings_store.h"
#include "publish/publisher.h"
#include "shell/module_data.h"
#include "support/child_process.h"
#include "support/disk_writes.h"
#include "support/mqtt_broker.h"
#include "support/program_doubles.h"
#include "support/xvfb_server.h"

namespace {

constexpr int LineLength = 26;
// Where the journal keeps its lock between runs and at the end.
QByteArray g_benchState;

QByteArray numberedLine(int balance, qint64 seq)
{
    char line[64];
    std::snprintf(line, sizeof line, "%02d #%010lld +12.345 g\r\n", balance % 100,
                  static_cast<long long>(seq));
    return QByteArray(line, LineLength);
}

// ----- the feeder -----

struct FeedTarget
{
    QTcpServer* server = nullptr;
    QTcpSocket* client = nullptr;
    int master = -1;
    qint64 sent = 0;
};

int feed(int argc, char* argv[])
{
    prctl(PR_SET_NAME, "feeder"); // apart from the collector in a profile
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int tcp = args.value(2).toInt();
    const int pty = args.value(3).toInt();
    const double rate = args.value(4).toDouble(); // characters per second and balance
    const double seconds = args.value(5).toDouble();
    const qint64 total = qint64(rate * seconds / LineLength);

    std::vector<FeedTarget> targets(tcp + pty);
    std::vector<int> slaves;
    for (int i = 0; i < tcp; ++i) {
        FeedTarget& t = targets[i];
        t.server = new QTcpServer(&app);
        t.server->listen(QHostAddress::LocalHost);
        QObject::connect(t.server, &QTcpServer::newConnection, &app, [&t] {
            while (QTcpSocket* peer = t.server->nextPendingConnection()) {
                if (!t.client)
                    t.client = peer;
            }
        });
        std::printf("tcp %u\n", unsigned(t.server->serverPort()));
    }
    for (int i = tcp; i < tcp + pty; ++i) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return 1;
        const char* name = ptsname(master);
        // Raw from the start, and held open so that the line stays up between readers.
        const int slave = ::open(name, O_RDWR | O_NOCTTY);
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        slaves.push_back(slave);
        targets[i].master = master;
        std::printf("pty %s\n", name);
    }
    std::printf("ready\n");
    std::fflush(stdout);

    QElapsedTimer clock;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(1);
    QObject::connect(&pace, &QTimer::timeout, &app, [&] {
        const qint64 due = std::min(total, qint64(clock.nsecsElapsed() / 1e9 * rate / LineLength));
        bool finished = true;
        for (size_t b = 0; b < targets.size(); ++b) {
            FeedTarget& t = targets[b];
            QByteArray bytes;
            for (; t.sent < due; ++t.sent)
                bytes += numberedLine(int(b), t.sent);
            if (!bytes.isEmpty() && t.client)
                t.client->write(bytes);
            for (qsizetype at = 0; t.master >= 0 && at < bytes.size();) {
                const ssize_t n = ::write(t.master, bytes.constData() + at, bytes.size() - at);
                if (n > 0)
                    at += n;
                else if (errno != EINTR && errno != EAGAIN)
                    break;
            }
            finished = finished && t.sent == total;
        }
        if (finished) {
            pace.stop();
            std::printf("done %lld %.3f\n", static_cast<long long>(total),
                        clock.nsecsElapsed() / 1e9);
            std::fflush(stdout);
        }
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char command[64] = {};
        const ssize_t n = ::read(STDIN_FILENO, command, sizeof command - 1);
        if (n <= 0 || QByteArray(command).startsWith("quit")) {
            app.quit();
        } else if (QByteArray(command).startsWith("go")) {
            clock.start();
            pace.start();
        }
    });
    return app.exec();
}

// ----- measuring -----

// Lets the event loop run (and sleep while idle) for ms milliseconds.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Processor seconds and resident MiB of another process, from /proc.
double otherCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

double residentMiB(qint64 pid = 0)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid)
                     : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

struct Scenario
{
    const char* name;
    int tcp;
    int pty;
    double rate; // characters per second and balance
    double seconds;
    bool withTerminal;
    enum { Off, Publish, Backlog } publish = Off; // Backlog: the broker is away until the end
};

struct Figures
{
    double chars = 0;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double rssGrowthMiB = 0;
    double diskWrites = -1; // bytes per byte received; unknown below zero
    qint64 lines = 0;
    qint64 lost = -1; // unknown
    double lagP99Ms = -1;
    double lagMaxMs = -1;
    qint64 published = -1; // readings at the subscriber, repeats dropped
    double latencyMedianMs = -1;
    double latencyP99Ms = -1;
    double drainedPerSecond = -1;
};

void print(const char* who, const Figures& f)
{
    const double mb = f.chars / 1e6;
    std::printf("  %-17s %8.0f chars/s %6.2f CPU s/MB %5.1f %% CPU %7.2f MiB/100k lines "
                "(%+.1f MiB)",
                who, f.chars / f.wallSeconds, mb > 0 ? f.cpuSeconds / mb : 0,
                100 * f.cpuSeconds / f.wallSeconds, f.lines ? f.rssGrowthMiB * 1e5 / f.lines : 0.0,
                f.rssGrowthMiB);
    if (f.diskWrites >= 0)
        std::printf(" %5.2f disk B/B", f.diskWrites);
    if (f.lost >= 0)
        std::printf(" %6lld lost", static_cast<long long>(f.lost));
    else
        std::printf("    n/a lost");
    if (f.lagMaxMs >= 0)
        std::printf("  lag p99 %5.1f ms max %6.1f ms", f.lagP99Ms, f.lagMaxMs);
    std::printf("\n");
    if (f.published >= 0)
        std::printf("  %-17s %8lld of %lld readings at the subscriber", "published",
                    static_cast<long long>(f.published), static_cast<long long>(f.lines));
    if (f.latencyMedianMs >= 0)
        std::printf(", latency median %6.1f ms p99 %7.1f ms", f.latencyMedianMs, f.latencyP99Ms);
    if (f.drainedPerSecond >= 0)
        std::printf(", backlog drained %7.0f readings/s", f.drainedPerSecond);
    if (f.published >= 0)
        std::printf("\n");
    std::fflush(stdout);
}

// Starts the feeder and reads its endpoint lines.
bool startFeeder(QProcess& feeder, const Scenario& s, QStringList& endpoints)
{
    feeder.setProgram(QCoreApplication::applicationFilePath());
    feeder.setArguments({QStringLiteral("--feed"), QString::number(s.tcp), QString::number(s.pty),
                         QString::number(s.rate), QString::number(s.seconds)});
    feeder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    feeder.start();
    QByteArray out;
    const QDeadlineTimer deadline(20000);
    while (!out.contains("ready\n") && !deadline.hasExpired() && feeder.waitForReadyRead(1000))
        out += feeder.readAllStandardOutput();
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith("tcp ") || line.startsWith("pty "))
            endpoints << QString::fromLatin1(line);
    }
    return out.contains("ready\n");
}

// Runs the event loop until the feeder says it is done.
void waitForFeeder(QProcess& feeder)
{
    QByteArray out;
    while (!out.contains("done") && feeder.state() == QProcess::Running) {
        runEventLoop(50);
        out += feeder.readAllStandardOutput();
    }
}

void stopFeeder(QProcess& feeder)
{
    feeder.write("quit\n");
    if (!feeder.waitForFinished(5000))
        feeder.kill();
    feeder.waitForFinished(5000);
}

qsizetype receivedBytes(int ch)
{
    frmTxtBox* window = Channel_Window::ExistingChannelWindow(ch);
    return window ? window->TextSize() : 0;
}

// Lines missing from, or out of order in, channel ch's text.
qint64 lostLines(int ch, qint64 expected)
{
    frmTxtBox* window = Channel_Window::ExistingChannelWindow(ch);
    const QByteArray text = window ? window->Text().toLatin1() : QByteArray();
    qint64 inOrder = 0;
    for (qsizetype at = 0; at + LineLength <= text.size(); at += LineLength) {
        if (QByteArrayView(text).sliced(at, LineLength) != numberedLine(ch - 1, inOrder))
            break;
        ++inOrder;
    }
    return expected - inOrder;
}

Figures runProgram(const Scenario& s)
{
    Figures f;
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    QProcess feeder;
    QStringList endpoints;
    if (!startFeeder(feeder, s, endpoints)) {
        std::printf("  feeder did not start\n");
        return f;
    }
    // The broker and the subscriber are processes of their own, outside the figures of the
    // program; the bench reads the subscriber's output, which counts in them.
    std::unique_ptr<MqttBroker> broker;
    std::unique_ptr<MqttSubscriber> subscriber;
    std::vector<std::vector<bool>> seen; // per channel, per line number
    qint64 published = 0;
    std::vector<double> latencies;
    QElapsedTimer wall;
    if (s.publish != Scenario::Off) {
        broker = std::make_unique<MqttBroker>();
        if (!broker->start()) {
            std::printf("  %s\n", qPrintable(broker->errorText()));
            stopFeeder(feeder);
            return f;
        }
        subscriber = std::make_unique<MqttSubscriber>(*broker, QStringLiteral("bench/#"));
        subscriber->waitSubscribed(QStringLiteral("bench/probe"));
        seen.assign(endpoints.size() + 1,
                    std::vector<bool>(size_t(s.rate * s.seconds / LineLength) + 1));
        subscriber->onMessage = [&](const QByteArray& topic, const QByteArray& payload) {
            const int ch = topic.mid(topic.lastIndexOf('/') + 1).toInt();
            const qsizetype hash = payload.indexOf('#');
            const qint64 line = payload.mid(hash + 1, 10).toLongLong();
            if (ch < 1 || ch >= int(seen.size()) || hash < 0 || line >= qint64(seen[ch].size()) ||
                seen[ch][size_t(line)])
                return;
            seen[ch][size_t(line)] = true;
            ++published;
            // The feeder sends line n once (n + 1) lines are due.
            latencies.push_back(wall.nsecsElapsed() / 1e6 -
                                (line + 1) * 1000.0 * LineLength / s.rate);
        };
        qputenv("QUORVANE_MQTT_PASSWORD", "secret");
        const QStringList values{"Enabled",  "1",
                                 "Broker",   QStringLiteral("127.0.0.1:%1").arg(broker->port()),
                                 "Topic",    "bench",
                                 "ClientId", "pc",
                                 "User",     MqttBroker::User};
        for (int i = 0; i < values.size(); i += 2)
            SettingsStore::SaveSetting(QStringLiteral("Publish"), values[i], values[i + 1]);
        if (s.publish == Scenario::Backlog)
            broker->stop();
    }
    ProgramDoubles program;
    frmMDIMain& main = program.start();
    const int channels = int(endpoints.size());
    Channel_Window::ChannelsCount = quint8(channels);
    int com = 0;
    for (int n = 1; n <= channels; ++n) {
        const QString endpoint = endpoints[n - 1];
        Channel_Window::ChannelState[n] = 1;
        if (endpoint.startsWith(QLatin1String("tcp "))) {
            Channel_Window::ChannelSettings[n] = QStringLiteral("IP 127.0.0.1:") + endpoint.mid(4);
        } else {
            ++com;
            SettingsStore::SaveSetting(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(com),
                                       endpoint.mid(4));
            Channel_Window::ChannelSettings[n] =
                QStringLiteral("COM %1,57600,n,8,1,None").arg(com, 2);
        }
    }
    main.resize(1200, 800);
    main.show();
    const QDeadlineTimer connectDeadline(30000);
    auto allConnected = [channels] {
        for (int n = 1; n <= channels; ++n) {
            if (!Communication_HW::IsChannelConnected(n))
                return false;
        }
        return true;
    };
    while (!allConnected() && !connectDeadline.hasExpired())
        runEventLoop(50);
    if (!allConnected()) {
        std::printf("  not every channel connected\n");
        stopFeeder(feeder);
        return f;
    }
    for (int i = 0; i < 20; ++i) // let the windows settle before measuring
        runEventLoop(10);

    // The lag of a 10 ms timer: how late each tick comes, as a menu click would.
    std::vector<double> lags;
    QElapsedTimer tickClock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        lags.push_back(std::max(0.0, tickClock.nsecsElapsed() / 1e6 - 10));
        tickClock.start();
    });

    const double rss0 = residentMiB();
    const double cpu0 = processCpuSeconds();
    const double written0 = DiskWriteBytes();
    wall.start();
    tickClock.start();
    // The probe wakes the program 100 times a second; where the figures are compared
    // with a terminal, which has no such probe, it stays off.
    if (!s.withTerminal)
        tick.start();
    feeder.write("go\n");
    waitForFeeder(feeder);

    // Then until every line is in or nothing more comes for two seconds.
    const qint64 expected = qint64(s.rate * s.seconds / LineLength);
    qsizetype have = 0;
    QElapsedTimer quiet;
    quiet.start();
    double lastArrival = wall.nsecsElapsed() / 1e9;
    while (quiet.elapsed() < 2000) {
        qsizetype now = 0;
        for (int n = 1; n <= channels; ++n)
            now += receivedBytes(n);
        if (now != have) {
            have = now;
            quiet.start();
            lastArrival = wall.nsecsElapsed() / 1e9;
        }
        if (have >= expected * LineLength * channels)
            break;
        runEventLoop(20);
    }
    f.cpuSeconds = processCpuSeconds() - cpu0;
    f.wallSeconds = std::max(lastArrival, wall.nsecsElapsed() / 1e9 - quiet.elapsed() / 1e3);
    f.rssGrowthMiB = residentMiB() - rss0;
    tick.stop();
    f.chars = double(have);
    Channel_Journal::SyncAll();
    f.diskWrites = have > 0 ? (DiskWriteBytes() - written0) / f.chars : -1;
    f.lines = have / LineLength;
    f.lost = 0;
    for (int n = 1; n <= channels; ++n)
        f.lost += lostLines(n, expected);
    std::sort(lags.begin(), lags.end());
    if (!lags.empty()) {
        f.lagP99Ms = lags[size_t(lags.size() * 0.99)];
        f.lagMaxMs = lags.back();
    }
    stopFeeder(feeder);
    if (s.publish == Scenario::Backlog) {
        broker->start();
        Publish::Publisher* publisher = Publish::ThePublisher();
        const QDeadlineTimer deadline(120000);
        while (publisher->StateText() != QLatin1String("Broker: connected") &&
               !deadline.hasExpired())
            runEventLoop(1);
        QElapsedTimer drain;
        drain.start();
        const qint64 backlog = publisher->Waiting();
        while (publisher->Waiting() > 0 && !deadline.hasExpired())
            runEventLoop(1);
        f.drainedPerSecond = backlog / (drain.nsecsElapsed() / 1e9);
    }
    if (subscriber) {
        // Until every reading is at the subscriber, or none came for five seconds.
        QElapsedTimer quiet;
        quiet.start();
        for (qint64 last = published; published < f.lines && quiet.elapsed() < 5000;) {
            runEventLoop(20);
            if (published != last)
                quiet.start();
            last = published;
        }
        f.published = published;
        if (s.publish == Scenario::Backlog)
            latencies.clear(); // they would measure the outage
        std::sort(latencies.begin(), latencies.end());
        if (!latencies.empty()) {
            f.latencyMedianMs = latencies[latencies.size() / 2];
            f.latencyP99Ms = latencies[size_t(latencies.size() * 0.99)];
        }
    }
    Globals::ProgramClosing = true;
    Channel_Window::DestroyAllChannelWindows();
    // The journal's lock moves to the bench's own folder while the program's still exists.
    qputenv("XDG_STATE_HOME", g_benchState);
    Channel_Journal::Recover();
    return f;
}

QString findExecutable(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// picocom inside xterm with a million lines of scrollback, on the same pty stream.
Figures runTerminal(const Scenario& s, const QByteArray& display)
{
    Figures f;
    QProcess feeder;
    QStringList endpoints;
    if (!startFeeder(feeder, s, endpoints) || endpoints.size() != 1) {
        std::printf("  feeder did not start\n");
        return f;
    }
    const QString path = endpoints[0].mid(4);
    QProcess xterm;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    xterm.setProcessEnvironment(env);
    xterm.start(findExecutable("xterm"),
                {QStringLiteral("-sl"), QStringLiteral("1000000"), QStringLiteral("-geometry"),
                 QStringLiteral("120x50"), QStringLiteral("-e"), findExecutable("picocom"),
                 QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("57600"), path});
    xterm.waitForStarted(10000);
    // picocom is xterm's child; it is ready once it holds the pty open.
    qint64 picocom = 0;
    const QDeadlineTimer deadline(20000);
    while (!picocom && !deadline.hasExpired()) {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(xterm.processId()));
        if (children.open(QIODevice::ReadOnly)) {
            const qint64 pid = children.readAll().trimmed().split(' ').value(0).toLongLong();
            const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
            for (const QFileInfo& fd : fds.entryInfoList(QDir::System))
                if (pid && fd.symLinkTarget() == path)
                    picocom = pid;
        }
        runEventLoop(50);
    }
    if (!picocom) {
        std::printf("  picocom did not open the pty\n");
        StopChildProcess(xterm);
        stopFeeder(feeder);
        return f;
    }
    const qint64 xtermPid = xterm.processId();
    auto cpu = [&] { return otherCpuSeconds(xtermPid) + otherCpuSeconds(picocom); };
    auto rss = [&] { return residentMiB(xtermPid) + residentMiB(picocom); };
    const double rss0 = rss();
    const double cpu0 = cpu();
    QElapsedTimer wall;
    wall.start();
    feeder.write("go\n");
    waitForFeeder(feeder);
    // Until both processes stay idle for a second: everything drawn.
    double last = cpu();
    for (QElapsedTimer idle; !idle.isValid() || idle.elapsed() < 1000;) {
        if (!idle.isValid())
            idle.start();
        runEventLoop(100);
        if (cpu() > last + 0.005) {
            last = cpu();
            idle.start();
        }
    }
    f.cpuSeconds = cpu() - cpu0;
    f.wallSeconds = s.seconds;
    f.rssGrowthMiB = rss() - rss0;
    f.lines = qint64(s.rate * s.seconds / LineLength);
    f.chars = double(f.lines * LineLength);
    StopChildProcess(xterm);
    stopFeeder(feeder);
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && QByteArray(argv[1]) == "--feed")
        return feed(argc, argv);

    // Drawn on a real X server, as on a lab PC; the offscreen platform when there is none.
    std::unique_ptr<XvfbServer> xvfb;
    if (!findExecutable("Xvfb").isEmpty())
        xvfb = std::make_unique<XvfbServer>();
    if (xvfb && xvfb->isRunning()) {
        qputenv("DISPLAY", xvfb->display());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Journals of every run in one private folder, which the journal keeps locked until the end.
    QTemporaryDir state;
    g_benchState = QFile::encodeName(state.path());
    QApplication app(argc, argv);
    const QByteArray filter = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const double seconds = argc > 2 ? QByteArray(argv[2]).toDouble() : 0;
    const bool terminal = xvfb && xvfb->isRunning() && !findExecutable("xterm").isEmpty() &&
                          !findExecutable("picocom").isEmpty();

    const Scenario scenarios[] = {
        {"serial 57600 baud, paced", 0, 1, 5760, 20, true},
        {"lab: 50 TCP x 10 lines/s", 50, 0, 260, 20, false},
        {"limit: 42 TCP + 8 pty x 5760/s", 42, 8, 5760, 10, false},
        {"5x limit: 42 TCP + 8 pty x 28800/s", 42, 8, 28800, 5, false},
        {"publish lab: 50 TCP x 10 lines/s", 50, 0, 260, 20, false, Scenario::Publish},
        {"publish limit: 42 TCP + 8 pty x 5760/s", 42, 8, 5760, 10, false, Scenario::Publish},
        {"publish backlog: 50 TCP x 10 lines/s, broker away", 50, 0, 260, 20, false,
         Scenario::Backlog},
    };
    std::printf("platform %s; processor time of the process, not wall-clock\n",
                qPrintable(QGuiApplication::platformName()));
    for (Scenario s : scenarios) {
        if (!QByteArray(s.name).contains(filter))
            continue;
        if (seconds > 0)
            s.seconds = seconds;
        std::printf("%s, %.0f s:\n", s.name, s.seconds);
        std::fflush(stdout);
        print("quorvane", runProgram(s));
        if (s.withTerminal && terminal)
            print("picocom in xterm", runTerminal(s, xvfb->display()));
        else if (s.withTerminal)
            std::printf("  picocom in xterm: not installed (make bench installs them)\n");
    }
    // The journal keeps its lock in the state folder until the process ends, so the folder
    // goes first and the process then ends without running its destructors again.
    xvfb.reset();
    state.remove();
    std::fflush(stdout);
    std::_Exit(0);
}
