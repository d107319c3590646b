#include "platform/message_log.h"

#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace Platform {
namespace {

bool g_reachingDisplay = false;
// Messages that came while reaching the display: as Qt wrote them, and as log lines.
QStringList g_heldTexts;
QStringList g_heldLines;

void writeLine(const QString& line)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    std::fflush(stderr);
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (g_reachingDisplay) {
        if (type != QtFatalMsg) {
            // Qt's platform plugin explains a failure over several lines before it gives up;
            // the user gets one line, with the plugin's first reason in it.
            if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0)
                g_heldTexts.append(text.simplified());
            g_heldLines.append(qFormatLogMessage(type, context, text));
            return;
        }
        const QString reason =
            g_heldTexts.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(g_heldTexts.first());
        writeLine(QStringLiteral("quorvane: needs a graphical session (X11 or Wayland), and no "
                                 "display could be reached%1")
                      .arg(reason));
        std::_Exit(1);
    }
    writeLine(qFormatLogMessage(type, context, text));
}

} // namespace

void InstallMessageLog()
{
    qSetMessagePattern(
        QStringLiteral("%{time yyyy-MM-dd HH:mm:ss.zzz} %{category} "
                       "%{if-debug}debug%{endif}%{if-info}info%{endif}%{if-warning}warning%{endif}"
                       "%{if-critical}error%{endif}%{if-fatal}fatal%{endif}: %{message}"));
    qInstallMessageHandler(handleMessage);
    g_reachingDisplay = true;
}

void DisplayReached()
{
    g_reachingDisplay = false;
    // Warnings of a start that worked after all still belong in the log.
    for (const QString& line : std::exchange(g_heldLines, {}))
        writeLine(line);
    g_heldTexts.clear();
}

const QLoggingCategory& SubsystemCategory(std::string_view sourceFile)
{
    static const QLoggingCategory shell("quorvane.shell"), comm("quorvane.comm"),
        keyhook("quorvane.keyhook"), channelWindow("quorvane.channel_window"),
        channelConfig("quorvane.channel_config"), commands("quorvane.commands"),
        about("quorvane.about"), platform("quorvane.platform"), other("quorvane");
    static const std::pair<std::string_view, const QLoggingCategory*> folders[] = {
        {"shell", &shell},
        {"comm", &comm},
        {"keyhook", &keyhook},
        {"channel_window", &channelWindow},
        {"channel_config", &channelConfig},
        {"commands", &commands},
        {"about", &about},
        {"platform", &platform},
    };
    const std::size_t end = sourceFile.find_last_of("/\\");
    if (end == std::string_view::npos)
        return other;
    const std::string_view dir = sourceFile.substr(0, end);
    const std::size_t start = dir.find_last_of("/\\");
    const std::string_view folder = start == std::string_view::npos ? dir : dir.substr(start + 1);
    for (const auto& [name, category] : folders) {
        if (name == folder)
            return *category;
    }
    return other;
}

QString BoxLogText(const QString& title, const QString& prompt)
{
    QStringList lines = prompt.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    lines.removeAll(QString());
    return title + QStringLiteral(": ") + lines.join(QStringLiteral(" | "));
}

} // namespace Platform
