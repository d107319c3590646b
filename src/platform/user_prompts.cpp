#include "platform/user_prompts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>

#include "platform/message_log.h"
#include "shell/module_data.h"

namespace Platform {
namespace {

// "Datafile (.log)|*.LOG|All Files (*.*)|*.*" -> "Datafile (.log) (*.LOG);;All Files (*.*) (*.*)"
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return out.join(QStringLiteral(";;"));
}

// A Yes/No question has no "don't know": Escape and the title bar's close button leave
// it open, so only Yes or No answers it. With a Cancel button Escape means Cancel.
class QuestionBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;
    bool answerRequired = false;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (answerRequired && event->matches(QKeySequence::Cancel))
            event->accept();
        else
            QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (answerRequired && !clickedButton())
            event->ignore();
        else
            QMessageBox::closeEvent(event);
    }
};

class QtPrompts : public UserPrompts
{
public:
    int MsgBox(const QString& prompt, int style, const QString& title) override
    {
        QuestionBox box(QApplication::activeWindow());
        box.setWindowTitle(title);
        box.setText(prompt);
        switch (style & 0x70) {
        case vbCritical:
            box.setIcon(QMessageBox::Critical);
            break;
        case vbQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case vbExclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case vbInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
        }
        switch (style & 7) {
        case vbOKCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case vbYesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case vbYesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.answerRequired = true;
            box.setWindowFlags((box.windowFlags() | Qt::CustomizeWindowHint) &
                               ~Qt::WindowCloseButtonHint);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return vbYes;
        case QMessageBox::No:
            return vbNo;
        case QMessageBox::Cancel:
            return vbCancel;
        default:
            return (style & 7) == vbYesNo ? vbNo : vbOK;
        }
    }

    std::optional<QString> SaveFileName(const FileDialogRequest& request) override
    {
        // Asking to overwrite is the caller's job, with its own wording.
        const QString name = QFileDialog::getSaveFileName(
            QApplication::activeWindow(), request.title, request.fileName, qtFilter(request.filter),
            nullptr, QFileDialog::DontConfirmOverwrite);
        return name.isEmpty() ? std::nullopt : std::optional<QString>(name);
    }

    std::optional<QString> OpenFileName(const FileDialogRequest& request) override
    {
        const QString name =
            QFileDialog::getOpenFileName(QApplication::activeWindow(), request.title,
                                         request.fileName, qtFilter(request.filter));
        return name.isEmpty() ? std::nullopt : std::optional<QString>(name);
    }
};

QtPrompts g_qtPrompts;
UserPrompts* g_prompts = &g_qtPrompts;

} // namespace

UserPrompts& Prompts()
{
    return *g_prompts;
}

void SetPrompts(UserPrompts* prompts)
{
    g_prompts = prompts ? prompts : &g_qtPrompts;
}

int MsgBox(const QString& prompt, int style, const QString& title, std::source_location caller)
{
    const QString shownTitle = title.isEmpty() ? Globals::AppTitle : title;
    if ((style & 7) == vbOKOnly) {
        const QLoggingCategory& category = SubsystemCategory(caller.file_name());
        const QString text = BoxLogText(shownTitle, prompt);
        switch (style & 0x70) {
        case vbCritical:
            qCCritical(category).noquote() << text;
            break;
        case vbExclamation:
            qCWarning(category).noquote() << text;
            break;
        default:
            qCInfo(category).noquote() << text;
            break;
        }
    }
    return Prompts().MsgBox(prompt, style, shownTitle);
}

} // namespace Platform
