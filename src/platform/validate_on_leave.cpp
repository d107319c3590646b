#include "platform/validate_on_leave.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTimer>
#include <QWidget>

namespace Platform {
namespace {

// Drops the one mouse press that is on its way while the focus change runs; the release
// that follows a dropped press clicks nothing. Gone by the next pass of the event loop,
// also when no press follows (the wheel can move the focus too).
class PressDropper : public QObject
{
public:
    explicit PressDropper(QObject* owner) : QObject(owner)
    {
        qApp->installEventFilter(this);
        QTimer::singleShot(0, this, [this] { deleteLater(); });
    }
    ~PressDropper() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonPress &&
            event->type() != QEvent::MouseButtonDblClick)
            return false;
        qApp->removeEventFilter(this);
        return true;
    }
};

class LeaveCheck : public QObject
{
public:
    LeaveCheck(QWidget* box, std::function<bool()> refuse, QList<QWidget*> exempt)
        : QObject(box), m_box(box), m_refuse(std::move(refuse)), m_exempt(std::move(exempt))
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_box || event->type() != QEvent::FocusOut || !m_box->window()->isVisible())
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
            m_exempt.contains(QApplication::focusWidget()) || !m_refuse())
            return false;
        m_box->setFocus(Qt::OtherFocusReason);
        if (reason == Qt::MouseFocusReason)
            new PressDropper(this);
        return false;
    }

private:
    QWidget* m_box;
    std::function<bool()> m_refuse;
    QList<QWidget*> m_exempt;
};

} // namespace

void ValidateOnLeave(QWidget* box, std::function<bool()> refuse, QList<QWidget*> exempt)
{
    new LeaveCheck(box, std::move(refuse), std::move(exempt));
}

} // namespace Platform
