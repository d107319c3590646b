#pragma once
// Test double for message boxes and file dialogs: records every prompt and answers from
// a script. An unscripted message box answers with its first button (OK or Yes); an
// unscripted file dialog is cancelled.

#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "platform/user_prompts.h"

struct RecordedBox
{
    QString prompt;
    int style = 0;
    QString title;
};

struct RecordedDialog
{
    bool save = true;
    Platform::FileDialogRequest request;
};

class ScriptedPrompts : public Platform::UserPrompts
{
public:
    // Installs itself for the lifetime of the object.
    ScriptedPrompts() { Platform::SetPrompts(this); }
    ~ScriptedPrompts() override { Platform::SetPrompts(nullptr); }

    void answerNextBox(int answer) { m_boxAnswers.append(answer); }
    void answerNextDialog(std::optional<QString> fileName) { m_dialogAnswers.append(fileName); }
    // Runs while the next box is "open", before it returns (to test re-entry).
    void onNextBox(std::function<void()> action) { m_boxActions.append(std::move(action)); }

    QList<RecordedBox> boxes;
    QList<RecordedDialog> dialogs;

    int MsgBox(const QString& prompt, int style, const QString& title) override;
    std::optional<QString> SaveFileName(const Platform::FileDialogRequest& request) override;
    std::optional<QString> OpenFileName(const Platform::FileDialogRequest& request) override;

private:
    QList<int> m_boxAnswers;
    QList<std::optional<QString>> m_dialogAnswers;
    QList<std::function<void()>> m_boxActions;
};
