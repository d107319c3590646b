// How appending to a channel window scales: a million balance lines arriving in pieces,
// then 8 MB from a balance that never sends a line end. Prints the processor time per 1000
// appends at the start and at the end of each run, and the peak memory of the process.

#include <QApplication>
#include <QMdiArea>
#include <cstdio>
#include <ctime>
#include <functional>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "shell/module_data.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

double peakRssMiB()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
#else
    return -1;
#endif
}

// Processor time in milliseconds, so that other work on the machine does not count.
double cpuMs()
{
    return std::clock() * 1000.0 / CLOCKS_PER_SEC;
}

// Appends all pieces; prints the processor time of the first and the last 1000 appends
// and the total. Pending window events (painting) run every 1000 appends, as they would
// between arrivals, and count with the appends.
void run(const char* name, frmTxtBox& box, qsizetype count,
         const std::function<QString(qsizetype)>& piece)
{
    const double start = cpuMs();
    double firstMs = 0;
    double lastStart = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (i == count - 1000)
            lastStart = cpuMs();
        box.NewTextReceived(piece(i));
        if (i % 1000 == 999)
            QApplication::processEvents();
        if (i == 999)
            firstMs = cpuMs() - start;
    }
    const double lastMs = cpuMs() - lastStart;
    std::printf("%s: %lld appends, %.1f MB of text\n", name, static_cast<long long>(count),
                box.Text().size() / 1e6);
    std::printf("  first 1000 appends: %8.2f ms\n", firstMs);
    std::printf("  last 1000 appends:  %8.2f ms\n", lastMs);
    std::printf("  total:              %8.0f ms\n", cpuMs() - start);
    std::printf("  peak RSS so far:    %8.0f MiB\n", peakRssMiB());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Globals::ResetModuleData();
    // An optional argument sets the number of lines, for a quicker look.
    const qsizetype lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1'000'000;

    QMdiArea area;
    area.resize(1000, 700);
    area.show();
    Channel_Window::SetMdiArea(&area);
    auto* box = new frmTxtBox;
    box->SetTag(QStringLiteral("1"));
    box->Show();
    box->SubWindow()->showMaximized();

    // A reading of about 30 characters arrives in two pieces, split inside the line end
    // every other time so that CR and LF land in different pieces.
    const QByteArray title = QByteArray::number(lines) + " lines in pieces";
    run(title.constData(), *box, 2 * lines, [](qsizetype i) {
        const qsizetype line = i / 2;
        const QString text = QStringLiteral("S S     %1.%2 g   #%3\r\n")
                                 .arg(line % 1000, 4)
                                 .arg(line % 997, 3, 10, QLatin1Char('0'))
                                 .arg(line, 7, 10, QLatin1Char('0'));
        const qsizetype cut = line % 2 ? text.size() - 1 : text.size() / 2;
        return i % 2 ? text.mid(cut) : text.left(cut);
    });

    box->ClearText();
    const QString kilobyte(1024, QLatin1Char('7'));
    run("8 MB without a line end in 1 KB pieces", *box, 8 * 1024,
        [&kilobyte](qsizetype) { return kilobyte; });

    std::printf("peak RSS: %.0f MiB\n", peakRssMiB());
    return 0;
}
