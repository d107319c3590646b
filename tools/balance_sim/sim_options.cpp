#include "sim_options.h"

#include <QCommandLineParser>

#include <climits>
#include <cstdio>

namespace {

constexpr double FirstWeight = 12.345;
// Balances without a weight of their own each weigh this much more than the one before,
// so their readings are told apart at a glance.
constexpr double WeightSpacing = 10.0;

const char Description[] =
    "Plays laboratory balances on loopback TCP ports and on serial ptys.\n"
    "\n"
    "On start it prints one line per balance, 'tcp 127.0.0.1:PORT' or 'pty PATH', then\n"
    "'ready'. A pty hung up by --drop-after is replaced at once and its new line printed.\n"
    "\n"
    "Commands, each ended by CR LF, CR or LF:\n"
    "  PRT   answer with one reading, e.g. 'N     +    12.345 g' CR LF\n"
    "  ON    switch the balance on\n"
    "  OFF   switch it off: it ignores PRT and sends nothing\n"
    "Other commands are ignored. Each TCP client gets answers of its own; ON and OFF\n"
    "switch the balance itself, for all its clients.\n"
    "SIGINT or SIGTERM ends it cleanly and removes the links.";

void printError(const QString& text)
{
    std::fprintf(stderr, "balance-sim: %s\n", qPrintable(text));
}

bool toInt(const QString& text, int minimum, int maximum, int& value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < minimum || number > maximum)
        return false;
    value = number;
    return true;
}

} // namespace

ParseResult parseSimOptions(const QStringList& arguments, SimOptions& options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption tcp(
        QStringLiteral("tcp"),
        QStringLiteral("A balance listening on 127.0.0.1:PORT (0: any free port). Repeatable."),
        QStringLiteral("PORT"));
    const QCommandLineOption pty(QStringLiteral("pty"),
                                 QStringLiteral("A balance on a new pty pair. Repeatable."));
    const QCommandLineOption ptyLink(
        QStringLiteral("pty-link"),
        QStringLiteral("Symlink PATH to the slave of the next pty (one more pty if all have "
                       "links). Repeatable."),
        QStringLiteral("PATH"));
    const QCommandLineOption weight(
        QStringLiteral("weight"),
        QStringLiteral("Base weight of the next balance, in order (default 12.345, each "
                       "further balance 10 more). Repeatable."),
        QStringLiteral("W"));
    const QCommandLineOption unit(QStringLiteral("unit"),
                                  QStringLiteral("Unit printed after the weight: g, kg or mg."),
                                  QStringLiteral("UNIT"), QStringLiteral("g"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the weight drift (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Also send HZ readings a second unasked."),
                                  QStringLiteral("HZ"), QStringLiteral("0"));
    const QCommandLineOption dropAfter(
        QStringLiteral("drop-after"),
        QStringLiteral("Close the connection / hang up the pty after N readings."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption stall(
        QStringLiteral("stall"),
        QStringLiteral("Answer nothing for MS ms after each reading; requests wait."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption burst(QStringLiteral("burst"),
                                   QStringLiteral("Answer each PRT with N readings at once."),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption garbage(
        QStringLiteral("garbage"),
        QStringLiteral("Replace every N-th reading by random bytes 0..255, NUL included."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption noEol(QStringLiteral("no-eol"),
                                   QStringLiteral("Send readings without line end."));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Send each reading one byte per write."));
    parser.addOptions({help, tcp, pty, ptyLink, weight, unit, seed, rate, dropAfter, stall, burst,
                       garbage, noEol, split});

    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return ParseResult::ExitError;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return ParseResult::ExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]));
        return ParseResult::ExitError;
    }

    // Balances in command-line order; optionNames() lists every occurrence.
    const QStringList tcpPorts = parser.values(tcp);
    qsizetype nextPort = 0;
    for (const QString& name : parser.optionNames()) {
        BalanceSetup setup;
        if (name == tcp.names().constFirst()) {
            int port = 0;
            if (!toInt(tcpPorts[nextPort++], 0, 65535, port)) {
                printError(QStringLiteral("--tcp wants a port 0..65535"));
                return ParseResult::ExitError;
            }
            setup.port = quint16(port);
        } else if (name == pty.names().constFirst()) {
            setup.kind = BalanceSetup::Pty;
        } else {
            continue;
        }
        options.balances.append(setup);
    }
    qsizetype ptyIndex = 0;
    for (const QString& link : parser.values(ptyLink)) {
        while (ptyIndex < options.balances.size() &&
               options.balances[ptyIndex].kind != BalanceSetup::Pty)
            ++ptyIndex;
        if (ptyIndex == options.balances.size())
            options.balances.append(BalanceSetup{BalanceSetup::Pty, 0, {}, 0});
        options.balances[ptyIndex++].linkPath = link;
    }
    if (options.balances.isEmpty())
        options.balances.append(BalanceSetup{});

    const QStringList weights = parser.values(weight);
    double previous = FirstWeight - WeightSpacing;
    for (qsizetype i = 0; i < options.balances.size(); ++i) {
        double value = previous + WeightSpacing;
        if (i < weights.size()) {
            bool ok = false;
            value = weights[i].toDouble(&ok);
            if (!ok) {
                printError(QStringLiteral("--weight wants a number"));
                return ParseResult::ExitError;
            }
        }
        options.balances[i].weight = value;
        previous = value;
    }

    options.unit = parser.value(unit);
    if (options.unit != QLatin1String("g") && options.unit != QLatin1String("kg") &&
        options.unit != QLatin1String("mg")) {
        printError(QStringLiteral("--unit is g, kg or mg"));
        return ParseResult::ExitError;
    }
    bool ok = false;
    options.seed = parser.value(seed).toUInt(&ok);
    if (!ok) {
        printError(QStringLiteral("--seed wants a whole number"));
        return ParseResult::ExitError;
    }
    options.rateHz = parser.value(rate).toDouble(&ok);
    if (!ok || options.rateHz < 0 || options.rateHz > 1000) {
        printError(QStringLiteral("--rate wants 0..1000"));
        return ParseResult::ExitError;
    }
    Misbehaviour& mis = options.misbehaviour;
    if (!toInt(parser.value(dropAfter), 0, INT_MAX, mis.dropAfter) ||
        !toInt(parser.value(stall), 0, INT_MAX, mis.stallMs) ||
        !toInt(parser.value(burst), 1, 100000, mis.burst) ||
        !toInt(parser.value(garbage), 0, INT_MAX, mis.garbageEvery)) {
        printError(QStringLiteral("--drop-after, --stall and --garbage want 0 or more, --burst "
                                  "1 to 100000"));
        return ParseResult::ExitError;
    }
    mis.noLineEnd = parser.isSet(noEol);
    mis.split = parser.isSet(split);
    return ParseResult::Run;
}
