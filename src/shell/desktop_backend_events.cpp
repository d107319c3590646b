// The main window and the desktop mechanisms behind F12 mode and To Cursor forwarding.
#include <QTimer>
#include <utility>

#include "platform/desktop.h"
#include "platform/key_grab.h"
#include "platform/message_log.h"
#include "platform/user_prompts.h"
#include "shell/frmMDIMain.h"

namespace {
const QString ForwardBoxTitle = QStringLiteral("Forward To Cursor");
const QString CRLF = QStringLiteral("\r\n");
} // namespace

void frmMDIMain::TellDesktopLimits(bool functionKey)
{
    const QString cannotType = Platform::TheDesktop().CannotType();
    if (!cannotType.isEmpty() && !std::exchange(m_typingLimitTold, true))
        Platform::MsgBox(cannotType, Platform::vbOKOnly + Platform::vbExclamation, ForwardBoxTitle);
    if (!functionKey)
        return;
    const QString advice = Platform::TheKeyGrab().ShortcutAdvice();
    if (!advice.isEmpty() && !std::exchange(m_shortcutAdviceTold, true))
        HookBox(advice, Platform::vbOKOnly + Platform::vbInformation);
}

void frmMDIMain::BackendFailed(Platform::BackendFeature feature, const QString& reason)
{
    const bool functionKey = feature == Platform::BackendFeature::FunctionKey;
    qCWarning(Platform::SubsystemCategory(__FILE__)).noquote()
        << (functionKey ? "F12 mode" : "To Cursor forwarding")
        << "ends, the desktop took it back:" << reason;
    // Later, from the event loop: the backend that reports is in the middle of its own
    // work, and the box waits for the user.
    QTimer::singleShot(0, this, [this, functionKey, reason] {
        if (functionKey && mnuF12toStart_Stop->isChecked()) {
            mnuF12toStart_Stop_Click(); // removes the hook and stores the mode as off
            HookFailedBox();
        } else if (!functionKey && mnuToCursor->isChecked()) {
            mnuToCursor_Click();
            Platform::MsgBox(QStringLiteral("Error:") + CRLF +
                                 QStringLiteral("The desktop no longer lets the readings of "
                                                "channel 1 be typed into other applications:") +
                                 CRLF + reason + CRLF + CRLF +
                                 QStringLiteral("To Cursor is switched off."),
                             Platform::vbOKOnly + Platform::vbExclamation, ForwardBoxTitle);
        }
    });
}
