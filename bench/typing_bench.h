#pragma once
// What the typing benchmarks share: channel 1 forwarding to the cursor, and how the delays
// are printed.

#include <QFile>
#include <QList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "comm/channel_connections.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"

// Settings and journals of their own for the benchmark's run, so that the channel set up
// here touches no real ones and a run cut short leaves nothing to recover in the next.
// (The journals' lock outlives main(): Qt says at the end that it found its folder gone.)
struct PrivateFolders
{
    QTemporaryDir dir;
    PrivateFolders()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    }
};

// Channel 1 on balance, a loopback port that only listens, forwarding to the cursor; the
// main window is loaded and the channel connected. False (and said why) when it never was.
inline bool StartForwardingChannel(QTcpServer& balance, frmMDIMain& main)
{
    balance.listen(QHostAddress::LocalHost);
    const QList<std::array<QString, 3>> settings{
        {"Channels", "CannelsCount", "1"},
        {"Channels", "Ch-1_State", "1"},
        {"Channels", "Ch-1_Settings", QStringLiteral("IP 127.0.0.1:%1").arg(balance.serverPort())},
        {"Forward", "ToCursor", "True"}};
    for (const auto& [section, key, value] : settings)
        SettingsStore::SaveSetting(section, key, value);
    main.MDIForm_Load();
    if (!QTest::qWaitFor([] { return Communication_HW::IsChannelConnected(1); }, 20000)) {
        std::printf("channel 1 never connected\n");
        return false;
    }
    return true;
}

inline void PrintDelays(const char* what, std::vector<double> delays, qsizetype characters)
{
    std::sort(delays.begin(), delays.end());
    std::printf("%s: %lld readings of %lld characters: median %.2f ms, 90th percentile %.2f ms, "
                "worst %.2f ms\n",
                what, qlonglong(delays.size()), qlonglong(characters), delays[delays.size() / 2],
                delays[delays.size() * 9 / 10], delays.back());
}
