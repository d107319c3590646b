#include <QApplication>

#include "platform/end_signals.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(Globals::AppTitle);
    QApplication::setApplicationVersion(QStringLiteral("2.0.0"));

    frmMDIMain main;
    Platform::WatchEndSignals(&main, [&main] { main.EndWithoutQuestion(); });
    main.MDIForm_Load();
    main.show();
    return QApplication::exec();
}
