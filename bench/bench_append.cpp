// How a channel window scales with the text it holds: a million balance lines arriving
// in pieces (processor time, resident growth per 100,000 lines and bytes written to the
// disk per byte received), 8 MB from a balance that never sends a line end, and a window
// holding 1 GB of text: filling it, showing it, scrolling to lines all over it and saving
// it, and taking it back from its journal as at a start after a crash, with the process's
// resident size. The text takes the program's own road to channel
// 1's window, journal included.
//
//   bench_append [lines] [window MB]     defaults: 1000000 lines, a 1024 MB window

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <functional>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "channel_window/log_view.h"
#include "shell/module_data.h"
#include "support/disk_writes.h"

namespace {

// Processor time in milliseconds, so that other work on the machine does not count.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The resident size now ("VmRSS") or its peak ("VmHWM"), in MiB.
double memoryMiB(const char* field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

// Starts a new peak, so that the 1 GB window's peak is its own.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// Appends all pieces with the window's events running every 1000 appends, as between
// arrivals; prints processor time and resident growth per 100,000 lines and the time of
// the first and the last 1000 appends.
void run(const char* name, frmTxtBox& box, qsizetype count, qsizetype lines,
         const std::function<QString(qsizetype)>& piece)
{
    const double rss0 = memoryMiB();
    const double written0 = DiskWriteBytes();
    const qint64 size0 = box.TextSize();
    const double start = cpuMs();
    double firstMs = 0;
    double lastStart = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (i == count - 1000)
            lastStart = cpuMs();
        Channel_Window::TextToChannelWindow(1, piece(i));
        if (i % 1000 == 999)
            QApplication::processEvents();
        if (i == 999)
            firstMs = cpuMs() - start;
    }
    QApplication::processEvents();
    Channel_Journal::SyncAll();
    const double totalMs = cpuMs() - start;
    const double lastMs = cpuMs() - lastStart;
    const double per100k = lines > 0 ? 1e5 / double(lines) : 0;
    std::printf("%s: %lld appends, %.1f MB of text\n", name, static_cast<long long>(count),
                box.TextSize() / 1e6);
    std::printf("  first / last 1000 appends: %8.2f / %.2f ms\n", firstMs, lastMs);
    if (lines > 0)
        std::printf("  per 100,000 lines:         %8.1f ms CPU, %+.2f MiB resident\n",
                    totalMs * per100k, (memoryMiB() - rss0) * per100k);
    else
        std::printf("  total:                     %8.0f ms CPU, %+.2f MiB resident\n", totalMs,
                    memoryMiB() - rss0);
    std::printf("  disk writes per byte:      %8.2f\n",
                (DiskWriteBytes() - written0) / double(box.TextSize() - size0));
    std::printf("  resident now:              %8.0f MiB\n", memoryMiB());
    std::fflush(stdout);
}

QString reading(qsizetype line)
{
    return QStringLiteral("S S     %1.%2 g   #%3\r\n")
        .arg(line % 1000, 4)
        .arg(line % 997, 3, 10, QLatin1Char('0'))
        .arg(line % 10'000'000, 7, 10, QLatin1Char('0'));
}

// Fills the window with megabytes of readings, then shows it, scrolls all over it and
// saves it, printing the time of each step and the resident size.
void bigWindow(frmTxtBox& box, qint64 megabytes, const QString& logFile)
{
    box.ClearText();
    QApplication::processEvents();
    resetPeak();
    const double rss0 = memoryMiB();
    QByteArray block;
    for (qsizetype line = 0; block.size() < (1 << 16); ++line)
        block += reading(line).toLatin1();
    const qint64 blocks = megabytes * (1 << 20) / block.size();

    const double written0 = DiskWriteBytes();
    double start = cpuMs();
    for (qint64 i = 0; i < blocks; ++i) {
        Channel_Window::TextToChannelWindow(1, QString::fromLatin1(block));
        if (i % 64 == 63)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    Channel_Journal::SyncAll();
    std::printf("window of %.0f MB:\n", box.TextSize() / 1e6);
    std::printf("  filled in           %8.0f ms CPU, resident %+.0f MiB, %.2f disk writes per "
                "byte\n",
                cpuMs() - start, memoryMiB() - rss0,
                (DiskWriteBytes() - written0) / double(box.TextSize()));

    LogView* view = box.TextView();
    start = cpuMs();
    box.SubWindow()->showNormal();
    box.SubWindow()->showMaximized();
    view->viewport()->repaint();
    std::printf("  shown in            %8.2f ms CPU\n", cpuMs() - start);

    QScrollBar* bar = view->verticalScrollBar();
    const int jumps = 200;
    start = cpuMs();
    for (int i = 0; i < jumps; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * ((i * 7919) % jumps) / jumps));
        view->viewport()->repaint();
    }
    bar->setValue(bar->maximum() / 2);
    view->viewport()->repaint();
    std::printf("  scroll to any line  %8.2f ms CPU per jump (%d lines)\n",
                (cpuMs() - start) / jumps, bar->maximum());

    Channel_Window::ChannelFilename[1] = logFile;
    start = cpuMs();
    box.SaveChannel();
    std::printf("  saved in            %8.0f ms CPU, %.0f MB written\n", cpuMs() - start,
                QFileInfo(logFile).size() / 1e6);
    QFile::remove(logFile);

    // As at a start after a crash: the window takes its journal back; its lines are
    // indexed later, between events.
    start = cpuMs();
    box.InitContent();
    std::printf("  taken back in       %8.2f ms CPU from a %.0f MB journal\n", cpuMs() - start,
                box.TextSize() / 1e6);
    std::printf("  resident now %.0f MiB, peak %.0f MiB\n", memoryMiB(), memoryMiB("VmHWM:"));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    // The windows' backing files and the journal go to private folders, removed at the end.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    QApplication app(argc, argv);
    Globals::ResetModuleData();
    const qsizetype lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1'000'000;
    const qint64 windowMB = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024;

    QMdiArea area;
    area.resize(1000, 700);
    area.show();
    Channel_Window::SetMdiArea(&area);
    frmTxtBox* box = Channel_Window::ChannelWindow(1);
    box->SetTag(QStringLiteral("1"));
    box->Show();
    box->ClearText();
    box->SubWindow()->showMaximized();
    std::printf("resident at start: %.0f MiB\n", memoryMiB());

    // A reading of about 30 characters arrives in two pieces, split inside the line end
    // every other time so that CR and LF land in different pieces.
    const QByteArray title = QByteArray::number(lines) + " lines in pieces";
    run(title.constData(), *box, 2 * lines, lines, [](qsizetype i) {
        const QString text = reading(i / 2);
        const qsizetype cut = (i / 2) % 2 ? text.size() - 1 : text.size() / 2;
        return i % 2 ? text.mid(cut) : text.left(cut);
    });

    box->ClearText();
    const QString kilobyte(1024, QLatin1Char('7'));
    run("8 MB without a line end in 1 KB pieces", *box, 8 * 1024, 0,
        [&kilobyte](qsizetype) { return kilobyte; });

    if (windowMB > 0)
        bigWindow(*box, windowMB, dir.filePath(QStringLiteral("big.log")));
    return 0;
}
