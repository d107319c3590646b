#include "support/scripted_prompts.h"

int ScriptedPrompts::MsgBox(const QString& prompt, int style, const QString& title)
{
    boxes.append({prompt, style, title});
    if (!m_boxActions.isEmpty())
        m_boxActions.takeFirst()();
    if (!m_boxAnswers.isEmpty())
        return m_boxAnswers.takeFirst();
    const int buttons = style & 7;
    return buttons == Platform::vbYesNo || buttons == Platform::vbYesNoCancel ? Platform::vbYes
                                                                              : Platform::vbOK;
}

std::optional<QString> ScriptedPrompts::SaveFileName(const Platform::FileDialogRequest& request)
{
    dialogs.append({true, request});
    return m_dialogAnswers.isEmpty() ? std::nullopt : m_dialogAnswers.takeFirst();
}

std::optional<QString> ScriptedPrompts::OpenFileName(const Platform::FileDialogRequest& request)
{
    dialogs.append({false, request});
    return m_dialogAnswers.isEmpty() ? std::nullopt : m_dialogAnswers.takeFirst();
}
