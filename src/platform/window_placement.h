#pragma once
// Where a dialog appears when it loads: in the middle of the screen, or over its owner.

class QWidget;

namespace Platform {

// left = (screen width - own width) / 2, top likewise, on the primary screen.
void CentreOnScreen(QWidget& window);
// left = owner's left + (owner's width - own width) / 2, top likewise.
void CentreOver(QWidget& window, const QWidget& owner);

} // namespace Platform
