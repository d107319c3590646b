#pragma once
// The text window of one channel: a child of the main window's multiple-document area
// with a toolbar (Save As, Clear) above a read-only text view. It keeps the exact text
// received (every character as it came, CR and LF included) and writes it to the
// channel's .log file on demand.
//
// Appending is cheap at any length: the view is a QPlainTextEdit without undo history,
// text goes in at the end whatever the user clicked, and the view follows the new text
// unless the user scrolled up to read older lines.
//
// Like a classic form, the window can be "unloaded" (closed) and "loaded" again: the
// instance stays, and the next access starts it afresh with Tag "0" and no text.

#include <QString>
#include <QWidget>

class QMdiSubWindow;
class QPlainTextEdit;
class QToolBar;

class frmTxtBox : public QWidget
{
    Q_OBJECT
public:
    explicit frmTxtBox(QWidget* parent = nullptr);
    ~frmTxtBox() override;

    // The channel number as text, "0" while unbound. Reading it loads the window.
    QString Tag();
    void SetTag(const QString& tag);
    QString Caption() const;
    void SetCaption(const QString& caption);
    void Show();
    bool IsLoaded() const { return m_loaded; }

    void CloseWindow();
    void ClearText();
    void ClearText_AskForSave();
    void CallContinious() {}
    void InitContent();
    void NewTextReceived(const QString& text);
    bool DataChanged() const;
    void SaveChannel();
    void SaveChannelAs();

    // The exact text held, and the changed flag ("0"/"1").
    QString Text() const { return m_text; }
    QString ChangedFlag() const { return m_changed; }

    void tbrToolbar_ButtonClick(const QString& key);

    // The sub-window that frames this window in the multiple-document area.
    QMdiSubWindow* SubWindow() const { return m_subWindow; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    // Returns true when the unload may go on.
    bool Form_QueryUnload();
    void Form_Unload();
    void SaveWithFileChoice();
    int Channel() const;

    bool m_loaded = false;
    QString m_tag = QStringLiteral("0");
    QString m_changed = QStringLiteral("0");
    QString m_text;
    bool m_viewEndsInCR = false;
    QToolBar* m_toolbar;
    QPlainTextEdit* m_txtBox;
    QMdiSubWindow* m_subWindow = nullptr;
};
