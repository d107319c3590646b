#pragma once
// A private network namespace with its own loopback, entered by the calling thread, for
// faults that loopback alone cannot make (lost SYNs, a peer that vanishes silently). Needs
// root and the ip and nft tools; otherwise isReady() is false and errorText() says why.

#include <QString>

class NetNamespace
{
public:
    NetNamespace();
    ~NetNamespace(); // back to the old namespace; this one is deleted
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    bool isReady() const { return m_ready; }
    QString errorText() const { return m_error; }
    // Loads an nftables ruleset ("nft -f" syntax) into the namespace.
    bool nft(const QString& rules);

private:
    bool run(const QStringList& command, const QByteArray& input = {});

    QString m_name;
    int m_oldNamespace = -1;
    bool m_ready = false;
    QString m_error;
};
