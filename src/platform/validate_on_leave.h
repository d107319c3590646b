#pragma once
// A value box is checked when the focus leaves it for another control of its window, before
// the user can go on: a refused value keeps the focus in the box, and the mouse press that
// tried to leave it does nothing (the button is not clicked, the grid cell not chosen).
// Another window taking the focus does not check, nor does moving to an exempt control
// such as Cancel, which closes without taking any value.

#include <QList>
#include <functional>

class QWidget;

namespace Platform {

// `refuse` checks the box (and shows its own message); true keeps the focus in the box.
void ValidateOnLeave(QWidget* box, std::function<bool()> refuse, QList<QWidget*> exempt = {});

} // namespace Platform
