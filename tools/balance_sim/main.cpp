// balance-sim: laboratory balances on loopback TCP ports and ptys, for trying and testing
// the collector without hardware. See --help.

#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <vector>

#include "balance.h"
#include "pty_balance.h"
#include "sim_options.h"
#include "stop_signals.h"
#include "tcp_balance.h"

namespace {

// Endpoint lines are read by scripts and tests: one line each, flushed at once.
void printLine(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    switch (parseSimOptions(app.arguments(), options)) {
    case ParseResult::ExitOk:
        return 0;
    case ParseResult::ExitError:
        return 2;
    case ParseResult::Run:
        break;
    }

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, &QCoreApplication::quit);

    // Declared before the transports, so the balances outlive every session that uses them.
    std::vector<std::unique_ptr<Balance>> balances;
    std::vector<std::unique_ptr<TcpBalance>> tcpBalances;
    std::vector<std::unique_ptr<PtyBalance>> ptyBalances;
    QStringList endpoints;
    for (qsizetype i = 0; i < options.balances.size(); ++i) {
        const BalanceSetup& setup = options.balances[i];
        // Different seeds per balance, so two balances never drift in step.
        const quint32 seed = options.seed + quint32(i) * 7919u;
        balances.push_back(std::make_unique<Balance>(setup.weight, options.unit, seed,
                                                     options.rateHz, options.misbehaviour));
        Balance* balance = balances.back().get();
        if (setup.kind == BalanceSetup::Tcp) {
            auto tcp = std::make_unique<TcpBalance>(balance);
            if (!tcp->listen(setup.port)) {
                std::fprintf(stderr, "balance-sim: cannot listen on 127.0.0.1:%u: %s\n",
                             unsigned(setup.port), qPrintable(tcp->errorString()));
                return 1;
            }
            endpoints << QStringLiteral("tcp 127.0.0.1:%1").arg(tcp->port());
            tcpBalances.push_back(std::move(tcp));
        } else {
            auto pty = std::make_unique<PtyBalance>(balance, setup.linkPath);
            if (!pty->open()) {
                std::fprintf(stderr, "balance-sim: cannot make a pty: %s\n",
                             qPrintable(pty->errorString()));
                return 1;
            }
            QObject::connect(pty.get(), &PtyBalance::reopened,
                             [](const QString& path) { printLine(QStringLiteral("pty ") + path); });
            endpoints << QStringLiteral("pty ") + pty->slavePath();
            ptyBalances.push_back(std::move(pty));
        }
    }
    for (const QString& endpoint : endpoints)
        printLine(endpoint);
    printLine(QStringLiteral("ready"));
    return app.exec();
}
