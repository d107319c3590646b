#pragma once
// Every question the program asks the user goes through here: message boxes and the
// open/save file dialogs. The real backend shows Qt dialogs; tests install a scripted
// double that records each prompt and answers it.

#include <QString>
#include <optional>
#include <source_location>

namespace Platform {

// Button sets and icons, combined by adding them, with the classic desktop values.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbYes = 6,
    vbNo = 7,
};

// Error number of a file dialog the user cancelled.
inline constexpr int cdlCancel = 32755;

struct FileDialogRequest
{
    QString title;
    QString fileName; // preset name, may hold a directory part
    QString filter;   // "Description|*.EXT|All Files (*.*)|*.*" pairs
};

class UserPrompts
{
public:
    virtual ~UserPrompts() = default;
    // Shows a modal message box; returns one of MsgBoxResult.
    virtual int MsgBox(const QString& prompt, int style, const QString& title) = 0;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<QString> SaveFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> OpenFileName(const FileDialogRequest& request) = 0;
};

// The backend in use: the Qt one unless a test installed another.
UserPrompts& Prompts();
// Installs a backend (not owned); nullptr puts the Qt backend back.
void SetPrompts(UserPrompts* prompts);

// MsgBox with the application title when no title is given. A box the user can only
// acknowledge (OK alone: errors and notices) also goes to the log, under the category of
// the subsystem whose code showed it.
int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString(),
           std::source_location caller = std::source_location::current());

} // namespace Platform
