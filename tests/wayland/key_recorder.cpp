// A native Wayland application of someone else's for the tests to type into: one window
// that takes the focus and prints every key it receives on standard output, one line each
// ("<ms> text <characters>" or "<ms> key <Qt key code>", ms since the epoch), at once.
#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QWidget>
#include <cstdio>

namespace {
class Recorder : public QWidget
{
protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const QString text = event->text();
        const long long now = QDateTime::currentMSecsSinceEpoch();
        if (!text.isEmpty() && text.at(0).isPrint())
            std::printf("%lld text %s\n", now, text.toUtf8().constData());
        else
            std::printf("%lld key %d\n", now, event->key());
        std::fflush(stdout);
    }
};
} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Recorder window;
    window.setWindowTitle(QStringLiteral("key recorder"));
    window.resize(400, 300);
    window.show();
    window.activateWindow();
    std::printf("shown\n");
    std::fflush(stdout);
    return application.exec();
}
