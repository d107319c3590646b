#include "channel_window/frmTxtBox.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "channel_window/log_file.h"
#include "channel_window/log_view.h"
#include "channel_window/text_store.h"
#include "comm/channel_connections.h"
#include "platform/message_log.h"
#include "platform/settings_store.h"
#include "platform/user_prompts.h"
#include "shell/module_data.h"
#include "shell/pending_error.h"

namespace {
const QString DesignCaption = QStringLiteral("Text - Box");
const QString LogFilter = QStringLiteral("Datafile (.log)|*.LOG|All Files (*.*)|*.*");
const QString CRLF = QStringLiteral("\r\n");

bool IsChannel(int n)
{
    return n >= 1 && n <= Globals::MaxChannels;
}
} // namespace

frmTxtBox::frmTxtBox(QWidget* parent) : QWidget(parent), m_store(std::make_unique<TextStore>())
{
    setObjectName(QStringLiteral("frmTxtBox"));
    m_caption = DesignCaption;
    setWindowTitle(m_caption);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("tbrToolbar"));
    m_toolbar->setIconSize(QSize(16, 16));
    const auto addButton = [this](const QString& key, QStyle::StandardPixmap picture,
                                  const QString& tip) {
        QAction* button = m_toolbar->addAction(style()->standardIcon(picture), tip);
        button->setObjectName(key);
        button->setToolTip(tip);
        connect(button, &QAction::triggered, this, [this, key] { tbrToolbar_ButtonClick(key); });
    };
    addButton(QStringLiteral("SaveAs"), QStyle::SP_DialogSaveButton, QStringLiteral("Save As"));
    addButton(QStringLiteral("Clear"), QStyle::SP_DialogResetButton, QStringLiteral("Clear"));

    m_lblConnection = new QLabel(this);
    m_lblConnection->setObjectName(QStringLiteral("lblConnection"));
    m_lblConnection->setWordWrap(true);
    m_lblConnection->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblConnection->setContentsMargins(6, 3, 6, 3);
    m_lblConnection->setBackgroundRole(QPalette::ToolTipBase);
    m_lblConnection->setForegroundRole(QPalette::ToolTipText);
    m_lblConnection->setAutoFillBackground(true);
    m_lblConnection->hide();

    m_txtBox = new LogView(*m_store, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_lblConnection);
    layout->addWidget(m_txtBox, 1);
}

frmTxtBox::~frmTxtBox()
{
    delete m_txtBox; // it reads the store, which goes with the members
}

void frmTxtBox::ensureLoaded()
{
    if (!m_loaded)
        Form_Load();
}

void frmTxtBox::Form_Load()
{
    m_loaded = true;
    m_tag = QStringLiteral("0");
    SetCaption(DesignCaption);
    SetConnectionReason({});
    ClearText();
}

QString frmTxtBox::Tag()
{
    ensureLoaded();
    return m_tag;
}

void frmTxtBox::SetTag(const QString& tag)
{
    ensureLoaded();
    m_tag = tag;
}

int frmTxtBox::Channel() const
{
    return m_tag.trimmed().toInt();
}

QString frmTxtBox::ConnectionReason() const
{
    return m_lblConnection->text();
}

void frmTxtBox::SetConnectionReason(const QString& reason)
{
    m_lblConnection->setText(reason);
    m_lblConnection->setVisible(!reason.isEmpty());
}

void frmTxtBox::SetCaption(const QString& caption)
{
    m_caption = caption;
    setWindowTitle(caption);
    if (m_subWindow)
        m_subWindow->setWindowTitle(caption);
}

void frmTxtBox::Show()
{
    ensureLoaded();
    if (!m_subWindow) {
        // A sub-window of our own, so that closing it hides it instead of deleting it.
        m_subWindow = new QMdiSubWindow;
        m_subWindow->setObjectName(QStringLiteral("frmTxtBoxFrame"));
        m_subWindow->setWidget(this);
        m_subWindow->installEventFilter(this);
        // An opaque frame hides whatever lies below it, so new text in a covered window
        // does not repaint the windows on top of it.
        m_subWindow->setAutoFillBackground(true);
        m_subWindow->resize(520, 320);
    }
    QMdiArea* area = Channel_Window::MdiArea();
    if (area && m_subWindow->mdiArea() != area)
        area->addSubWindow(m_subWindow);
    m_subWindow->setWindowTitle(m_caption);
    QWidget::show();
    m_subWindow->show();
}

void frmTxtBox::CloseWindow()
{
    if (!m_loaded)
        return;
    if (m_subWindow)
        m_subWindow->close(); // the close event runs the closing steps
    else if (unloadWindow())
        hide();
}

bool frmTxtBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_subWindow && event->type() == QEvent::Close && !unloadWindow()) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool frmTxtBox::unloadWindow()
{
    if (!m_loaded)
        return true;
    if (m_unloading)
        return false;
    m_unloading = true;
    const QPointer<frmTxtBox> self(this);
    const bool unload = Form_QueryUnload();
    if (!self)
        return false;
    if (unload) {
        // The text goes before its journal does.
        m_store->Clear();
        m_txtBox->TextCleared();
        Form_Unload();
        m_loaded = false;
        m_tag = QStringLiteral("0");
        m_changed = QStringLiteral("0");
        SetCaption(DesignCaption);
    }
    m_unloading = false;
    return unload;
}

bool frmTxtBox::Form_QueryUnload()
{
    if (Globals::ProgramClosing || m_changed.toInt() == 0)
        return true;
    const int answer = Platform::MsgBox(QStringLiteral("Save data before closing ?"),
                                        Platform::vbYesNoCancel + Platform::vbQuestion,
                                        QStringLiteral("Close Channel - ") +
                                            Channel_Window::ChannelTitle(Channel()));
    if (answer == Platform::vbCancel)
        return false;
    // A save that did not happen keeps the window, and with it the readings.
    return answer != Platform::vbYes || SaveWithFileChoice();
}

void frmTxtBox::Form_Unload()
{
    const int n = Channel();
    if (!IsChannel(n))
        return;
    // Closed by the user: the channel stays off, also at the next start. At the program's
    // end the stored states stay as they are, so the same channels come back.
    if (!Globals::ProgramClosing) {
        Channel_Window::ChannelState[n] = 0;
        Communication_HW::CloseChannel(n);
        SettingsStore::SaveSetting(QStringLiteral("Channels"), QStringLiteral("Ch-%1_State").arg(n),
                                   QStringLiteral("0"));
        Channel_Journal::Remove(n);
    }
    Communication_HW::UnloadChannelHW(n);
}

void frmTxtBox::ClearText()
{
    clearText(false);
}

void frmTxtBox::ForgetText()
{
    clearText(true);
}

void frmTxtBox::clearText(bool withJournal)
{
    ensureLoaded();
    m_store->Clear();
    const int n = Channel();
    if (withJournal)
        Channel_Journal::Remove(n);
    // A bound window keeps its text in the channel's journal, after whatever the journal
    // still holds from an earlier run.
    if (IsChannel(n))
        m_store->SetBacking(Channel_Journal::Backing(n, false));
    m_txtBox->TextCleared();
    m_changed = QStringLiteral("0");
}

bool frmTxtBox::RecoverText()
{
    ensureLoaded();
    const int n = Channel();
    if (!IsChannel(n))
        return false;
    m_store->Clear(); // lets go of the journal, to take it again from its start
    if (!m_store->SetBacking(Channel_Journal::Backing(n, true))) {
        // Unreadable: it stays for the next start, and the new text goes after it.
        ClearText();
        return false;
    }
    m_txtBox->TextCleared();
    indexInBackground();
    const qint64 size = m_store->Size();
    if (size == 0)
        return false;
    // The last run may have stopped in the middle of a reading; the next one must not be
    // glued onto its cut-off start.
    const QByteArray last = m_store->Bytes(size - 1, 1);
    const bool cutOff = last != "\r" && last != "\n";
    if (cutOff)
        m_store->Append(CRLF.toLatin1());
    qCInfo(Platform::SubsystemCategory(__FILE__)).noquote()
        << QStringLiteral("Journal: channel %1 takes back %2 unsaved bytes; the last run "
                          "stopped after them%3")
               .arg(n)
               .arg(size)
               .arg(cutOff ? QStringLiteral(", inside a line, so CR LF ends that line")
                           : QString());
    m_txtBox->TextAppended();
    m_changed = QStringLiteral("1");
    return true;
}

void frmTxtBox::indexInBackground()
{
    // A slice at a time between other events: readings keep arriving meanwhile.
    const bool done = m_store->IndexSome();
    m_txtBox->TextAppended();
    if (!done)
        QTimer::singleShot(0, this, &frmTxtBox::indexInBackground);
}

void frmTxtBox::RetryJournal()
{
    const int n = Channel();
    if (m_loaded && IsChannel(n) && !m_store->HasBacking())
        m_store->AttachBacking(Channel_Journal::Backing(n, false));
}

void frmTxtBox::InitContent()
{
    // A channel switched on during the run may have a journal that an earlier run left
    // unsaved; its window starts with that text, so that no save or quit can drop it.
    if (!RecoverText())
        m_changed = QStringLiteral("0");
}

void frmTxtBox::ClearText_AskForSave()
{
    ensureLoaded();
    if (m_store->Size() == 0)
        return;
    const QPointer<frmTxtBox> self(this);
    // Asked about the text, not the flag: already saved text is asked about too.
    const int answer = Platform::MsgBox(
        QStringLiteral("Save data before clearing ?"), Platform::vbYesNo + Platform::vbQuestion,
        QStringLiteral("Clear Channel - ") + Channel_Window::ChannelTitle(Channel()));
    if (self && answer == Platform::vbYes && !SaveWithFileChoice())
        return; // the user wanted the text kept, and no log holds it
    if (!self)
        return;
    ForgetText();
}

void frmTxtBox::NewTextReceived(const QString& text)
{
    ensureLoaded();
    // Received text is one character per byte, so Latin-1 gives the bytes back exactly.
    m_store->Append(text.toLatin1());
    m_txtBox->TextAppended();
    m_changed = QStringLiteral("1");
}

QString frmTxtBox::Text() const
{
    return QString::fromLatin1(m_store->Bytes(0, m_store->Size()));
}

qint64 frmTxtBox::TextSize() const
{
    return m_store->Size();
}

bool frmTxtBox::WriteText(QIODevice& device) const
{
    return m_store->WriteTo(
        [&device](const QByteArray& piece) { return device.write(piece) == piece.size(); });
}

bool frmTxtBox::DataChanged() const
{
    return m_changed.toInt() == 1;
}

bool frmTxtBox::SaveWithFileChoice()
{
    const int n = Channel();
    if (IsChannel(n) && !Channel_Window::ChannelFilename[n].isEmpty())
        return SaveChannel();
    return SaveChannelAs();
}

bool frmTxtBox::SaveChannel()
{
    ensureLoaded();
    const int n = Channel();
    if (!IsChannel(n) || Channel_Window::ChannelFilename[n].isEmpty())
        return false;
    const QString& fileName = Channel_Window::ChannelFilename[n];
    const QString title = Channel_Window::ChannelTitle(n);
    const QString reason = writeLog(fileName, title);
    if (!reason.isEmpty()) {
        Platform::MsgBox(QStringLiteral("The log file could not be saved:") + CRLF + fileName +
                             CRLF + reason + CRLF + CRLF +
                             QStringLiteral("The previous file is unchanged; the data stay "
                                            "unsaved in the window."),
                         Platform::vbOKOnly + Platform::vbExclamation,
                         QStringLiteral("Error Channel - ") + title);
        return false;
    }
    m_changed = QStringLiteral("0");
    Channel_Journal::Settle(n);
    return true;
}

// Title line, empty line, the exact text, CR LF; one byte per character.
QString frmTxtBox::writeLog(const QString& fileName, const QString& title) const
{
    LogFile::Body body;
    body.size = m_store->Size();
    body.writeTo = [this](const LogFile::Put& put) { return m_store->WriteTo(put); };
    return LogFile::Write(fileName, (title + QLatin1Char(':') + CRLF + CRLF).toLatin1(), body,
                          CRLF.toLatin1());
}

bool frmTxtBox::SaveChannelAs()
{
    ensureLoaded();
    const int n = Channel();
    if (!IsChannel(n))
        return false;
    QString& fileName = Channel_Window::ChannelFilename[n];
    const QString title = Channel_Window::ChannelTitle(n);
    const QPointer<frmTxtBox> self(this);

    Globals::Err.Clear();
    Platform::FileDialogRequest request;
    request.title = QStringLiteral("Save Channel - ") + title;
    request.filter = LogFilter;
    request.fileName = fileName.isEmpty() ? Channel_Window::DefaultChannelFileName(n) : fileName;
    const std::optional<QString> chosen = Platform::Prompts().SaveFileName(request);
    if (!self)
        return false;
    if (!chosen) {
        Globals::Err.Clear();
        return false;
    }
    const QString name = QDir::toNativeSeparators(*chosen);

    // A directory can never become the log file; say so instead of failing silently later.
    const QFileInfo info(name);
    const bool exists = info.exists() && !info.isDir();
    if (info.isDir())
        Globals::Err.Raise(75, QStringLiteral("Path/File access error"));
    if (Globals::Err.Number != 0) {
        const QString description = Globals::Err.Description;
        Globals::Err.Clear();
        Platform::MsgBox(description, Platform::vbOKOnly + Platform::vbExclamation,
                         QStringLiteral("Error Channel - ") + title);
        return false;
    }
    if (exists) {
        const int answer = Platform::MsgBox(name + QStringLiteral(" already exist!") + CRLF +
                                                QStringLiteral("Replace ?"),
                                            Platform::vbYesNoCancel + Platform::vbQuestion,
                                            QStringLiteral("Save Channel - ") + title);
        if (!self || answer != Platform::vbYes)
            return false;
    }

    fileName = name;
    SettingsStore::SaveSetting(QStringLiteral("Channels"), QStringLiteral("Ch-%1_FileName").arg(n),
                               name);
    const bool saved = SaveChannel();
    Channel_Window::UpdateChannelCaption(n);
    return saved;
}

void frmTxtBox::tbrToolbar_ButtonClick(const QString& key)
{
    if (key == QLatin1String("SaveAs"))
        SaveChannelAs();
    else if (key == QLatin1String("Clear"))
        ClearText_AskForSave();
}
