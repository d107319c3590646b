#pragma once
// The simulator's command line.

#include <QList>
#include <QString>
#include <QStringList>

#include "balance.h"

struct BalanceSetup
{
    enum Kind { Tcp, Pty };
    Kind kind = Tcp;
    quint16 port = 0;  // Tcp: 0 picks a free port
    QString linkPath;  // Pty: symlink to the slave, may be empty
    double weight = 0; // base value, in the chosen unit
};

struct SimOptions
{
    QList<BalanceSetup> balances; // in the order given on the command line
    QString unit = QStringLiteral("g");
    quint32 seed = 1;
    double rateHz = 0;
    Misbehaviour misbehaviour;
};

enum class ParseResult { Run, ExitOk, ExitError };

// Fills options from arguments (argv as a list). On ExitOk the help text was printed; on
// ExitError the message was.
ParseResult parseSimOptions(const QStringList& arguments, SimOptions& options);
