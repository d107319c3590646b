#include "platform/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Platform {

void CentreOnScreen(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    window.move(area.x() + (area.width() - window.width()) / 2,
                area.y() + (area.height() - window.height()) / 2);
}

void CentreOver(QWidget& window, const QWidget& owner)
{
    const QRect frame = owner.frameGeometry();
    window.move(frame.x() + (frame.width() - window.width()) / 2,
                frame.y() + (frame.height() - window.height()) / 2);
}

} // namespace Platform
