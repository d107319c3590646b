#include "shell/empty_area_hint.h"

#include <QEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

EmptyAreaHint::EmptyAreaHint(QMdiArea* area, std::function<void()> openChannels)
    : QWidget(area->viewport()), m_area(area), m_openChannels(std::move(openChannels))
{
    setObjectName(QStringLiteral("EmptyAreaHint"));
    auto* lblHint = new QLabel(
        QStringLiteral("No balance is switched on.\n\n"
                       "To add one, open Settings > Channels: set the number of channels, "
                       "switch a channel ON, and choose its serial port or network address "
                       "in its Settings cell. Its window opens here and shows what the "
                       "balance sends."),
        this);
    lblHint->setObjectName(QStringLiteral("lblHint"));
    lblHint->setWordWrap(true);
    lblHint->setAlignment(Qt::AlignCenter);
    m_cmdChannels = new QPushButton(QStringLiteral("Set up channels..."), this);
    m_cmdChannels->setObjectName(QStringLiteral("cmdChannels"));
    connect(m_cmdChannels, &QPushButton::clicked, this, &EmptyAreaHint::cmdChannels_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblHint);
    layout->addWidget(m_cmdChannels, 0, Qt::AlignHCenter);

    // The sub-windows are children of the viewport; their coming and going is seen there.
    area->viewport()->installEventFilter(this);
    refresh();
}

void EmptyAreaHint::cmdChannels_Click()
{
    if (m_openChannels)
        m_openChannels();
}

bool EmptyAreaHint::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (auto* sub = qobject_cast<QMdiSubWindow*>(static_cast<QChildEvent*>(event)->child()))
            sub->installEventFilter(this);
        [[fallthrough]];
    case QEvent::ChildRemoved:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Resize:
        // Judged once the change has settled: a hidden window reads visible while its
        // hide event is delivered.
        QMetaObject::invokeMethod(this, &EmptyAreaHint::refresh, Qt::QueuedConnection);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void EmptyAreaHint::refresh()
{
    const QList<QMdiSubWindow*> windows = m_area->subWindowList();
    const bool empty = std::none_of(windows.begin(), windows.end(),
                                    [](const QMdiSubWindow* w) { return w->isVisible(); });
    if (empty) {
        const QSize room = m_area->viewport()->size();
        const int width = std::min(room.width() - 40, 460);
        resize(width, heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height());
        move((room.width() - this->width()) / 2, (room.height() - height()) / 2);
        raise();
    }
    setVisible(empty);
}
