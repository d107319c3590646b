#include "shell/frmMDIMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "about/frmAbout.h"
#include "channel_config/frmChannels.h"
#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/settings_string.h"
#include "commands/frmDataRequest.h"
#include "commands/frmSendCmd.h"
#include "commands/frmSendFile.h"
#include "keyhook/keyhook.h"
#include "platform/desktop.h"
#include "platform/message_log.h"
#include "platform/settings_store.h"
#include "platform/user_prompts.h"
#include "publish/frmPublish.h"
#include "publish/publisher.h"
#include "shell/channel_list_changes.h"
#include "shell/empty_area_hint.h"
#include "shell/load_settings.h"
#include "shell/module_data.h"
#include "shell/pending_error.h"
#include "shell/receive_shaper.h"

using namespace Channel_Window;

namespace {
frmMDIMain* g_instance = nullptr;

const QString CaptionStart = QStringLiteral("Start");
const QString CaptionStop = QStringLiteral("Stop");
const QString HookBoxTitle = QStringLiteral("Hook Function Key");
const QString CRLF = QStringLiteral("\r\n");

int LastChannel()
{
    return std::min<int>(ChannelsCount, Globals::MaxChannels);
}
} // namespace

frmMDIMain::frmMDIMain(QWidget* parent)
    : QMainWindow(parent), MSComm([this](SerialPortElement& element) {
          connect(&element, &SerialPortElement::OnComm, this, &frmMDIMain::MSComm_OnComm);
      }),
      Winsocket([this](SocketElement& element) {
          connect(&element, &SocketElement::DataArrival, this, &frmMDIMain::Winsocket_DataArrival);
      })
{
    g_instance = this;
    setObjectName(QStringLiteral("frmMDIMain"));
    setWindowTitle(Globals::AppTitle);
    // Every window of the program shows the balance, the channel windows and boxes too.
    QGuiApplication::setWindowIcon(frmAbout::ProgramIcon());

    // A strip above the windows for what must not go unnoticed on a PC nobody watches;
    // hidden while all is well.
    auto* central = new QWidget(this);
    lblJournalWarning = new QLabel(central);
    lblJournalWarning->setObjectName(QStringLiteral("lblJournalWarning"));
    lblJournalWarning->setWordWrap(true);
    lblJournalWarning->setStyleSheet(
        QStringLiteral("QLabel { background: #fff3c4; color: #5c3b00; padding: 4px; }"));
    lblJournalWarning->hide();
    m_mdiArea = new QMdiArea(central);
    m_mdiArea->setObjectName(QStringLiteral("MDIClient"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(lblJournalWarning);
    column->addWidget(m_mdiArea, 1);
    setCentralWidget(central);
    Channel_Window::SetMdiArea(m_mdiArea);
    Communication_HW::BindElements(&MSComm, &Winsocket);
    Platform::SetBackendFailureHandler(
        [this](Platform::BackendFeature feature, const QString& reason) {
            BackendFailed(feature, reason);
        });
    new EmptyAreaHint(m_mdiArea, [this] { mnuChannels_Click(); });

    buildMenu();

    lblBroker = new QLabel(this);
    lblBroker->setObjectName(QStringLiteral("lblBroker"));
    statusBar()->addWidget(lblBroker);
    statusBar()->hide();
    auto* publisher = new Publish::Publisher(this);
    connect(publisher, &Publish::Publisher::StateChanged, this, [this](const QString& text) {
        lblBroker->setText(text);
        statusBar()->setVisible(!text.isEmpty());
    });

    m_sendChannelTimer = new QTimer(this);
    m_sendChannelTimer->setObjectName(QStringLiteral("SendChannelTimer"));
    connect(m_sendChannelTimer, &QTimer::timeout, this, &frmMDIMain::SendChannelTimer_Timer);

    // The channel check runs from the start: its first tick connects the ON channels.
    m_checkChannelTimer = new QTimer(this);
    m_checkChannelTimer->setObjectName(QStringLiteral("CheckChannelTimer"));
    m_checkChannelTimer->setInterval(500);
    connect(m_checkChannelTimer, &QTimer::timeout, this, &frmMDIMain::CheckChannelTimer_Timer);
    m_checkChannelTimer->start();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableGeometry().size();
        resize(std::min(1024, room.width() * 4 / 5), std::min(720, room.height() * 4 / 5));
    }
}

frmMDIMain::~frmMDIMain()
{
    m_checkChannelTimer->stop();
    m_sendChannelTimer->stop();
    if (Keyhook::HookClient == this) {
        Keyhook::RemoveKeyHook();
        Keyhook::HookClient = nullptr;
    }
    if (!m_unloaded) {
        // Torn down without the close path (tests, or the program ending): the windows
        // still let go of their channels' elements while the arrays exist.
        m_unloaded = true;
        Channel_Window::DestroyAllChannelWindows();
    }
    if (Communication_HW::MSComm() == &MSComm)
        Communication_HW::BindElements(nullptr, nullptr);
    if (Channel_Window::MdiArea() == m_mdiArea)
        Channel_Window::SetMdiArea(nullptr);
    if (g_instance == this) {
        g_instance = nullptr;
        Platform::SetBackendFailureHandler(nullptr);
    }
}

frmMDIMain* frmMDIMain::Instance()
{
    return g_instance;
}

// ----- menu -----

QAction* frmMDIMain::addItem(QMenu* menu, const QString& name, const QString& caption,
                             void (frmMDIMain::*handler)())
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, [this, item, handler] {
        // Qt has already flipped a checkable item; the handler decides the mark itself
        // (F12 mode may refuse), so put it back first and let the handler flip it once.
        if (item->isCheckable())
            item->setChecked(!item->isChecked());
        (this->*handler)();
    });
    return item;
}

void frmMDIMain::buildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    const auto topLevel = [bar](const QString& name, const QString& caption) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(name);
        return menu;
    };
    const auto separator = [](QMenu* menu, const QString& name) {
        menu->addSeparator()->setObjectName(name);
    };
    const auto checkable = [](QAction* item, bool checked = false) {
        item->setCheckable(true);
        item->setChecked(checked);
        return item;
    };

    QMenu* file = topLevel(QStringLiteral("File"), QStringLiteral("&File"));
    mnuFileSaveAll = addItem(file, QStringLiteral("mnuFileSaveAll"), QStringLiteral("&Save all"),
                             &frmMDIMain::mnuFileSaveAll_Click);
    separator(file, QStringLiteral("mnuFile0"));
    mnuExit = addItem(file, QStringLiteral("mnuExit"), QStringLiteral("&Quit"),
                      &frmMDIMain::mnuExit_Click);

    QMenu* settings = topLevel(QStringLiteral("Settings"), QStringLiteral("&Settings"));
    mnuChannels = addItem(settings, QStringLiteral("mnuChannels"), QStringLiteral("&Channels"),
                          &frmMDIMain::mnuChannels_Click);
    separator(settings, QStringLiteral("mnuSettings0"));
    mnuDataRequest = addItem(settings, QStringLiteral("mnuDataRequest"),
                             QStringLiteral("Data &Request"), &frmMDIMain::mnuDataRequest_Click);
    mnuPublish = addItem(settings, QStringLiteral("mnuPublish"), QStringLiteral("&Publish"),
                         &frmMDIMain::mnuPublish_Click);

    QMenu* transfer = topLevel(QStringLiteral("Transfer"), QStringLiteral("&Transfer"));
    mnuStart =
        addItem(transfer, QStringLiteral("mnuStart"), CaptionStart, &frmMDIMain::mnuStart_Click);
    mnuF12toStart_Stop = checkable(addItem(transfer, QStringLiteral("mnuF12toStart_Stop"),
                                           QStringLiteral("F12 to &Start/Stop"),
                                           &frmMDIMain::mnuF12toStart_Stop_Click));
    mnuBeeponRequest =
        checkable(addItem(transfer, QStringLiteral("mnuBeeponRequest"),
                          QStringLiteral("Beepon Request"), &frmMDIMain::mnuBeeponRequest_Click));

    QMenu* send = topLevel(QStringLiteral("Send"), QStringLiteral("S&end"));
    mnuSendCmd = addItem(send, QStringLiteral("mnuSendCmd"), QStringLiteral("&Send Command"),
                         &frmMDIMain::mnuSendCmd_Click);
    separator(send, QStringLiteral("mnuSend0"));
    mnuSendFile = addItem(send, QStringLiteral("mnuSendFile"), QStringLiteral("&Send File to CH-1"),
                          &frmMDIMain::mnuSendFile_Click);

    QMenu* format = topLevel(QStringLiteral("mnuFromat"), QStringLiteral("&Format"));
    mnuDateTime =
        checkable(addItem(format, QStringLiteral("mnuDateTime"), QStringLiteral("&Date and Time"),
                          &frmMDIMain::mnuDateTime_Click));
    mnuWeightOnly =
        checkable(addItem(format, QStringLiteral("mnuWeightOnly"), QStringLiteral("Weight &Only"),
                          &frmMDIMain::mnuWeightOnly_Click));
    mnuDecimalPoint =
        checkable(addItem(format, QStringLiteral("mnuDecimalPoint"),
                          QStringLiteral("Decimal - &Point"), &frmMDIMain::mnuDecimalPoint_Click),
                  true);
    mnuTABs = checkable(addItem(format, QStringLiteral("mnuTABs"), QStringLiteral("&TABs"),
                                &frmMDIMain::mnuTABs_Click));

    QMenu* forward = topLevel(QStringLiteral("Forward"), QStringLiteral("Forwar&d CH-1"));
    mnuToCursor = checkable(addItem(forward, QStringLiteral("mnuToCursor"),
                                    QStringLiteral("To&Cursor"), &frmMDIMain::mnuToCursor_Click));
    mnuback_left =
        checkable(addItem(forward, QStringLiteral("mnuback_left"), QStringLiteral("Back-&Left"),
                          &frmMDIMain::mnuback_left_Click));

    QMenu* window = topLevel(QStringLiteral("Window"), QStringLiteral("&Window"));
    mnuWindowTileHoriz =
        addItem(window, QStringLiteral("mnuWindowTileHoriz"), QStringLiteral("Tile &Horizontally"),
                &frmMDIMain::mnuWindowTileHoriz_Click);
    mnuWindowTileVert =
        addItem(window, QStringLiteral("mnuWindowTileVert"), QStringLiteral("Tile &Vertically"),
                &frmMDIMain::mnuWindowTileVert_Click);
    mnuWindowCascade = addItem(window, QStringLiteral("mnuWindowCascade"),
                               QStringLiteral("&Cascade"), &frmMDIMain::mnuWindowCascade_Click);
    separator(window, QStringLiteral("mnuWindow0"));
    mnuWindowClearAll = addItem(window, QStringLiteral("mnuWindowClearAll"),
                                QStringLiteral("&Clear all"), &frmMDIMain::mnuWindowClearAll_Click);

    // "About" sits on the menu bar itself, without a drop-down.
    mnuAbout = bar->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuAbout, &QAction::triggered, this, &frmMDIMain::mnuAbout_Click);
}

// ----- start-up and shut-down -----

void frmMDIMain::MDIForm_Load()
{
    Globals::ProgramClosing = false;

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    setWindowTitle(Globals::AppTitle);
    LoadSettings();
    mnuWindowTileVert_Click();
    Keyhook::HookClient = this;
    Keyhook::InitKeyHook();
    RecoverUnsavedText();
    showJournalTrouble();
    // Start-up ignores every failure on its way; none outlives it.
    Globals::Err.Clear();
}

void frmMDIMain::RecoverUnsavedText()
{
    QStringList recovered;
    for (const int n : Channel_Journal::Recover()) {
        // A channel that is not on keeps its journal until it is on again at a start.
        if (n > LastChannel() || ChannelState[n] == 0)
            continue;
        ShowChannelWindow(n); // a new window starts with its journal's text
        if (ExistingChannelWindow(n)->DataChanged())
            recovered << ChannelTitle(n);
    }
    if (recovered.isEmpty())
        return;
    // Said once the main window is up, over the windows that hold the text again.
    const QString prompt = QStringLiteral("Data that were not saved when the program last ended "
                                          "are back in the windows of:") +
                           CRLF + CRLF + recovered.join(CRLF) + CRLF + CRLF +
                           QStringLiteral("They are not saved yet.");
    QTimer::singleShot(0, this, [prompt] {
        Platform::MsgBox(prompt, Platform::vbOKOnly + Platform::vbInformation,
                         QStringLiteral("Recovered Channels"));
    });
}

void frmMDIMain::LoadSettings()
{
    Settings::OptionChecks checks;
    checks.weightOnly = mnuWeightOnly->isChecked();
    checks.decimalPoint = mnuDecimalPoint->isChecked();
    checks.dateTime = mnuDateTime->isChecked();
    checks.tabs = mnuTABs->isChecked();
    checks.toCursor = mnuToCursor->isChecked();
    checks.backLeft = mnuback_left->isChecked();
    Settings::LoadSettings(checks);
    mnuWeightOnly->setChecked(checks.weightOnly);
    mnuDecimalPoint->setChecked(checks.decimalPoint);
    mnuDateTime->setChecked(checks.dateTime);
    mnuTABs->setChecked(checks.tabs);
    mnuToCursor->setChecked(checks.toCursor);
    mnuback_left->setChecked(checks.backLeft);
    // The hook is never installed at start-up, whatever was stored.
    mnuF12toStart_Stop->setChecked(false);
    Publish::ThePublisher()->ApplyStoredSettings();
}

bool frmMDIMain::MDIForm_QueryUnload()
{
    // These steps stand even when the user cancels below: the program then runs on with
    // no hook, no channel check and no data request until a menu item restarts them.
    Keyhook::RemoveKeyHook();
    StopChannels();
    Globals::ProgramClosing = true;
    if (!AnyChannelDataChanged())
        return true;
    const int answer = Platform::MsgBox(QStringLiteral("Save data of all Channels ?"),
                                        Platform::vbYesNoCancel + Platform::vbQuestion,
                                        QStringLiteral("Exit program"));
    if (answer == Platform::vbCancel)
        return false;
    m_quitWithSave = answer == Platform::vbYes;
    if (m_quitWithSave)
        SaveAllChannelWindows();
    return true;
}

void frmMDIMain::EndWithoutQuestion()
{
    // A question still open returns unanswered; as at any end, its window must then leave
    // its channel's state as it is, so that the channel and its journal come back.
    Globals::ProgramClosing = true;
    endSendFile();
    Channel_Journal::Freeze();
    QCoreApplication::exit(0);
}

void frmMDIMain::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded && !MDIForm_QueryUnload()) {
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

void frmMDIMain::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_checkChannelTimer->stop();
    m_sendChannelTimer->stop();
    endSendFile();
    // Quitting from the menu settles every journal, except where the user asked to save
    // and the save failed: that text comes back at the next start.
    std::vector<int> settled;
    for (int n = 1; n <= LastChannel(); ++n) {
        const frmTxtBox* window = ExistingChannelWindow(n);
        const bool saveFailed =
            m_quitWithSave && window && window->IsLoaded() && window->DataChanged();
        if (ChannelState[n] != 0 && !saveFailed)
            settled.push_back(n);
    }
    // ProgramClosing is set, so the windows neither ask nor switch their channels off.
    // They read their text from the journals, which go after them.
    Channel_Window::DestroyAllChannelWindows();
    for (const int n : settled)
        Channel_Journal::Remove(n);
    Communication_HW::UnloadChannelHW(1);
}

void frmMDIMain::showJournalTrouble()
{
    // A folder that could not be written may be writable again. A try costs a file open,
    // so it comes every few seconds, not at every check.
    QString trouble = Channel_Journal::Trouble();
    if (!trouble.isEmpty() && (!m_journalRetry.isValid() || m_journalRetry.elapsed() >= 5000)) {
        m_journalRetry.start();
        for (int n = 1; n <= LastChannel(); ++n) {
            if (frmTxtBox* window = ExistingChannelWindow(n))
                window->RetryJournal();
        }
        trouble = Channel_Journal::Trouble();
    }
    if (trouble == lblJournalWarning->text())
        return;
    lblJournalWarning->setText(trouble);
    lblJournalWarning->setVisible(!trouble.isEmpty());
    // Said once per change, so the log tells when the protection was lost and came back.
    const QLoggingCategory& log = Platform::SubsystemCategory(__FILE__);
    if (trouble.isEmpty())
        qCInfo(log) << "Journal: every channel window is protected against a crash again";
    else
        qCWarning(log).noquote() << trouble;
}

void frmMDIMain::endSendFile()
{
    // A file still going out would otherwise keep the balance busy, and the process alive,
    // long after the windows are gone.
    if (auto* sending = findChild<frmSendFile*>(QString(), Qt::FindDirectChildrenOnly))
        sending->EndTransfer();
}

void frmMDIMain::mnuExit_Click()
{
    close();
}

// ----- File and Window menus -----

void frmMDIMain::mnuFileSaveAll_Click()
{
    if (!AnyChannelDataChanged())
        return;
    if (Platform::MsgBox(QStringLiteral("Overwrite existing files of Channels ?"),
                         Platform::vbYesNo + Platform::vbQuestion,
                         QStringLiteral("Save all Channels")) == Platform::vbYes)
        SaveAllChannelWindows();
}

void frmMDIMain::mnuWindowClearAll_Click()
{
    if (!AnyChannelDataChanged())
        return;
    if (Platform::MsgBox(QStringLiteral("Clear data of all Channels ?"),
                         Platform::vbYesNo + Platform::vbQuestion,
                         QStringLiteral("Clear all Channels")) == Platform::vbYes)
        ClearAllChannelWindows();
}

void frmMDIMain::tileSubWindows(Qt::Orientation stacking)
{
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* sub : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (sub->isVisible() && !sub->isMinimized())
            windows.append(sub);
    }
    if (windows.isEmpty())
        return;
    // Up to three windows are strips across the whole area. More make a grid, as the
    // classic desktop does, so no window gets narrower than a reading: bands along the
    // stacking direction, each holding `perBand` windows side by side, the last band
    // taking the ones left over.
    const QRect area = m_mdiArea->viewport()->rect();
    const int count = int(windows.size());
    const int perBand = count > 3 ? int(std::sqrt(double(count))) : 1;
    const int bands = count / perBand;
    const bool stacked = stacking == Qt::Vertical;
    const int along = stacked ? area.height() : area.width();
    const int across = stacked ? area.width() : area.height();
    for (int i = 0; i < count; ++i) {
        const int band = std::min(i / perBand, bands - 1);
        const int inBand = band == bands - 1 ? count - band * perBand : perBand;
        const int slot = i - band * perBand;
        // The last window of a row or column takes the pixels left over by the division.
        const int from = along * band / bands;
        const int to = along * (band + 1) / bands;
        const int start = across * slot / inBand;
        const int end = across * (slot + 1) / inBand;
        QMdiSubWindow* sub = windows[i];
        if (sub->isMaximized())
            sub->showNormal();
        if (stacked)
            sub->setGeometry(start, from, end - start, to - from);
        else
            sub->setGeometry(from, start, to - from, end - start);
    }
}

void frmMDIMain::mnuWindowTileHoriz_Click()
{
    tileSubWindows(Qt::Vertical);
}

void frmMDIMain::mnuWindowTileVert_Click()
{
    tileSubWindows(Qt::Horizontal);
}

void frmMDIMain::mnuWindowCascade_Click()
{
    m_mdiArea->cascadeSubWindows();
}

// ----- Settings, Send and About -----

void frmMDIMain::mnuChannels_Click()
{
    StopChannels();
    const ChannelListChanges::Before before = ChannelListChanges::Take();
    {
        frmChannels channels(this);
        channels.exec();
    }
    ChannelListChanges::Apply(before);
    StartCheckChannels();
}

void frmMDIMain::mnuDataRequest_Click()
{
    StopChannels();
    frmDataRequest dialog(this);
    dialog.exec();
    StartCheckChannels();
}

void frmMDIMain::mnuPublish_Click()
{
    frmPublish dialog(this);
    dialog.exec();
}

void frmMDIMain::mnuSendCmd_Click()
{
    StopSendChannels();
    // One dialog at a time; a second click brings it forward as it is, not reloaded. It
    // stays open while the check runs on.
    auto* dialog = findChild<frmSendCmd*>(QString(), Qt::FindDirectChildrenOnly);
    if (!dialog || !dialog->isVisible()) {
        dialog = new frmSendCmd(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    StartCheckChannels();
}

void frmMDIMain::mnuSendFile_Click()
{
    // Nothing is stopped: readings and requests go on while the file goes out.
    frmSendFile::Of(this).SendFile();
}

void frmMDIMain::mnuAbout_Click()
{
    frmAbout about(this);
    about.exec();
}

// ----- option toggles -----

void frmMDIMain::toggleOption(QAction* item, const QString& section, const QString& key)
{
    item->setChecked(!item->isChecked());
    SettingsStore::SaveSetting(section, key, Settings::BooleanText(item->isChecked()));
}

void frmMDIMain::mnuWeightOnly_Click()
{
    toggleOption(mnuWeightOnly, QStringLiteral("Format"), QStringLiteral("WeightOnly"));
}

void frmMDIMain::mnuDecimalPoint_Click()
{
    toggleOption(mnuDecimalPoint, QStringLiteral("Format"), QStringLiteral("DecimalPoint"));
}

void frmMDIMain::mnuDateTime_Click()
{
    toggleOption(mnuDateTime, QStringLiteral("Format"), QStringLiteral("DateTime"));
}

void frmMDIMain::mnuTABs_Click()
{
    toggleOption(mnuTABs, QStringLiteral("Format"), QStringLiteral("TABs"));
}

void frmMDIMain::mnuBeeponRequest_Click()
{
    toggleOption(mnuBeeponRequest, QStringLiteral("Format"), QStringLiteral("BeeponRequest"));
}

void frmMDIMain::mnuToCursor_Click()
{
    toggleOption(mnuToCursor, QStringLiteral("Forward"), QStringLiteral("ToCursor"));
    if (mnuToCursor->isChecked())
        TellDesktopLimits(false);
}

void frmMDIMain::mnuback_left_Click()
{
    toggleOption(mnuback_left, QStringLiteral("Forward"), QStringLiteral("Back-Left"));
}

// ----- transfer control -----

void frmMDIMain::StartCheckChannels()
{
    CheckChannels();
    m_checkChannelTimer->start();
}

void frmMDIMain::StopCheckChannels()
{
    m_checkChannelTimer->stop();
}

void frmMDIMain::StartSendChannels()
{
    SendChannels();
    if (Globals::RepeatCommand != 1)
        return;
    // An interval of 0 or less (only from an edited store) never ticks, as a timer with
    // no interval would not; the request still counts as running until stopped.
    m_sendChannelTimer->setInterval(std::max(Globals::RepeatInterval, 0));
    if (Globals::RepeatInterval > 0)
        m_sendChannelTimer->start();
    mnuStart->setText(CaptionStop);
}

void frmMDIMain::StopSendChannels()
{
    mnuStart->setText(CaptionStart);
    m_sendChannelTimer->stop();
}

void frmMDIMain::StopChannels()
{
    StopCheckChannels();
    StopSendChannels();
}

void frmMDIMain::CheckChannelTimer_Timer()
{
    // A tick during a message box of the previous run is skipped, not queued.
    if (CheckChannelTimerTag.toInt() != 0)
        return;
    CheckChannelTimerTag = QStringLiteral("1");
    CheckChannels();
    CheckChannelTimerTag = QStringLiteral("0");
}

void frmMDIMain::SendChannelTimer_Timer()
{
    if (SendChannelTimerTag.toInt() != 0)
        return;
    SendChannelTimerTag = QStringLiteral("1");
    SendChannels();
    SendChannelTimerTag = QStringLiteral("0");
}

void frmMDIMain::CheckChannels()
{
    using namespace Communication_HW;
    // Every channel of the pass gets its attempt before any failure box is shown: a box
    // waits for a click, and the healthy balances must not wait with it.
    HeldOpenFailures failures;
    for (int n = 1; n <= LastChannel(); ++n) {
        if (m_unloaded)
            break;
        if (ChannelState[n] == 0)
            continue;
        ShowChannelWindow(n);
        CallContiniousChannelWindow(n);
        UpdateChannelCaption(n);
        if (!IsChannelConnected(n))
            OpenChannel(n);
    }
    // A box may let the user quit meanwhile.
    failures.Show([this] { return !m_unloaded; });
    if (!m_unloaded)
        showJournalTrouble();
    if (!m_windowsArranged && !m_unloaded && !m_mdiArea->subWindowList().isEmpty()) {
        m_windowsArranged = true;
        mnuWindowTileVert_Click();
    }
    Globals::Err.Clear();
}

void frmMDIMain::SendChannels()
{
    if (mnuBeeponRequest->isChecked())
        Platform::TheDesktop().Beep();
    for (int n = 1; n <= LastChannel(); ++n)
        Communication_HW::SendToChannel(n, ChannelCommand[n] + CRLF,
                                        QStringLiteral("SendChannels"));
    Globals::Err.Clear();
}

void frmMDIMain::mnuStart_Click()
{
    if (mnuStart->text() != CaptionStart)
        StopSendChannels();
    else if (!mnuF12toStart_Stop->isChecked())
        StartSendChannels(); // in F12 mode starting is the key's job
}

void frmMDIMain::mnuF12toStart_Stop_Click()
{
    if (!mnuF12toStart_Stop->isChecked()) {
        Keyhook::SetKeyHook();
        if (Keyhook::HookSet) {
            mnuF12toStart_Stop->setChecked(true);
            HookBox(QStringLiteral("Start/Stop Transfer with Function Key F12"));
            TellDesktopLimits(true);
        } else {
            HookFailedBox();
        }
    } else {
        Keyhook::RemoveKeyHook();
        mnuF12toStart_Stop->setChecked(false);
    }
    SettingsStore::SaveSetting(QStringLiteral("Transfer"), QStringLiteral("F12toStart/Stop"),
                               Settings::BooleanText(mnuF12toStart_Stop->isChecked()));
}

void frmMDIMain::HookBox(const QString& prompt, int style)
{
    Platform::MsgBox(prompt, style, HookBoxTitle);
}

void frmMDIMain::HookFailedBox()
{
    HookBox(QStringLiteral("Error:") + CRLF + QStringLiteral("Function Key F12 could not hooked!"));
}

QVariant frmMDIMain::KeyboardHook_HookAction()
{
    if (!Keyhook::HookSet)
        return {};
    if (mnuStart->text() == CaptionStart)
        StartSendChannels();
    else
        StopSendChannels();
    return {};
}

// ----- receive path -----

void frmMDIMain::ReceiveChannel(int channel, const QString& text)
{
    if (channel < 1 || channel > Globals::MaxChannels || ChannelState[channel] == 0)
        return;
    if (!Communication_HW::IsChannelHWOk(channel)) {
        Communication_HW::ShowChannelHWError(channel, QStringLiteral("Receive data"));
        Globals::Err.Clear();
        return;
    }

    Receive::FormatOptions options;
    options.weightOnly = mnuWeightOnly->isChecked();
    options.decimalPoint = mnuDecimalPoint->isChecked();
    options.dateTime = mnuDateTime->isChecked();
    options.tabs = mnuTABs->isChecked();
    options.backLeft = mnuback_left->isChecked();
    const bool toCursor = channel == 1 && mnuToCursor->isChecked();
    options.keys = toCursor;

    const Receive::Shaped shaped =
        Receive::ShapeText(text, options, [] { return Platform::TheDesktop().Now(); });

    // The keys go out before the window shows the text, one character's keys at a time.
    if (toCursor) {
        for (const QString& key : shaped.keys) {
            if (!key.isEmpty())
                Platform::TheDesktop().SendKeys(key);
        }
    }
    ShowChannelWindow(channel);
    TextToChannelWindow(channel, shaped.display);
    Publish::ThePublisher()->Arrived(channel, shaped.display);
}

void frmMDIMain::MSComm_OnComm(int index)
{
    SerialPortElement* port = MSComm(index);
    if (!port || port->CommEvent() != SerialPortElement::comEvReceive)
        return;
    const QString text = port->Input();
    ReceiveChannel(index + 1, text);
}

void frmMDIMain::Winsocket_DataArrival(int index, qint64 bytesTotal)
{
    Q_UNUSED(bytesTotal);
    SocketElement* socket = Winsocket(index);
    if (!socket)
        return;
    const QString text = socket->GetData();
    ReceiveChannel(index + 1, text);
}
