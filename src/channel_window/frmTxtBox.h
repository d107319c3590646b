#pragma once
// The text window of one channel: a child of the main window's multiple-document area
// with a toolbar (Save As, Clear) above a read-only text view. It keeps the exact text
// received (every character as it came, CR and LF included) and writes it to the
// channel's .log file on demand.
//
// The text lives in a TextStore (mostly on disk, in the channel's journal while the
// window is bound to a channel) and the view draws only the lines in view, so appending
// and memory stay cheap however long the window collects: text goes in at the end
// whatever the user clicked, and the view follows the new text unless the user scrolled
// up to read older lines.
//
// Like a classic form, the window can be "unloaded" (closed) and "loaded" again: the
// instance stays, and the next access starts it afresh with Tag "0" and no text. Closing
// the sub-window, by its close button or by CloseWindow(), runs the same closing steps.

#include <QMdiSubWindow>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

class LogView;
class QIODevice;
class QLabel;
class TextStore;
class QToolBar;

class frmTxtBox : public QWidget
{
    Q_OBJECT
public:
    explicit frmTxtBox(QWidget* parent = nullptr);
    ~frmTxtBox() override;

    // The channel number as text, "0" while unbound. Reading or setting it loads the window.
    QString Tag();
    void SetTag(const QString& tag);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    // A line above the text on why the channel is not connected; hidden when empty. It is
    // never part of the text, which is what gets saved.
    QString ConnectionReason() const;
    void SetConnectionReason(const QString& reason);
    // Loads the window if needed and shows it in the channel windows' area.
    void Show();
    bool IsLoaded() const { return m_loaded; }

    void CloseWindow();
    // Empties the window; the channel's journal keeps what it holds.
    void ClearText();
    // Empties the window on purpose: the channel's journal forgets the text too.
    void ForgetText();
    void ClearText_AskForSave();
    void CallContinious() {}
    // A newly bound window starts with what its channel's journal holds from an earlier
    // run, unsaved; otherwise empty.
    void InitContent();
    // A window that got no journal (its folder could not be written) tries again; its
    // text so far goes into the journal first.
    void RetryJournal();
    void NewTextReceived(const QString& text);
    bool DataChanged() const;
    // Both return true when the log file now holds the text. A save that fails says why
    // in a message, keeps the previous file as it was and leaves the window unsaved.
    bool SaveChannel();
    bool SaveChannelAs();

    // The exact text held (one character per received byte), its length, and the changed
    // flag ("0"/"1"). Text() builds the whole string; savers use WriteText instead.
    QString Text() const;
    qint64 TextSize() const;
    // Writes the exact text to device in pieces; false when the device refused one or the
    // text could not be read back from its backing file.
    bool WriteText(QIODevice& device) const;
    QString ChangedFlag() const { return m_changed; }

    void tbrToolbar_ButtonClick(const QString& key);

    // The sub-window that frames this window in the multiple-document area.
    QMdiSubWindow* SubWindow() const { return m_subWindow; }
    LogView* TextView() const { return m_txtBox; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Takes the text the channel's journal holds from the last run, unsaved, as the
    // window's text; false when it had none or it could not be read.
    bool RecoverText();
    void ensureLoaded();
    void clearText(bool withJournal);
    // Indexes the recovered text slice by slice, so a journal of gigabytes never holds up
    // the start.
    void indexInBackground();
    void Form_Load();
    // Returns true when the unload may go on.
    bool Form_QueryUnload();
    void Form_Unload();
    // Query and unload; false when the user kept the window.
    bool unloadWindow();
    // Saves to the channel's file, or asks for one when it has none yet; true when saved.
    bool SaveWithFileChoice();
    int Channel() const;
    // Why the log could not be written, or an empty text when it was.
    QString writeLog(const QString& fileName, const QString& title) const;

    bool m_loaded = false;
    bool m_unloading = false;
    QString m_tag = QStringLiteral("0");
    QString m_changed = QStringLiteral("0");
    QString m_caption;
    std::unique_ptr<TextStore> m_store;
    QToolBar* m_toolbar;
    QLabel* m_lblConnection;
    LogView* m_txtBox;
    QPointer<QMdiSubWindow> m_subWindow;
};
