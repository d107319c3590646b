#include "commands/frmSendCmd.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "comm/channel_connections.h"
#include "platform/dialog_controls.h"
#include "platform/settings_store.h"
#include "platform/window_placement.h"
#include "shell/module_data.h"
#include "shell/pause.h"
#include "shell/pending_error.h"

namespace {
const QString CRLF = QStringLiteral("\r\n");
const QString Section = QStringLiteral("SendCommand");

// Twice, a half-second pause with the user interface alive, then twice again: a balance
// busy with the first lines still gets the command.
void switchAllBalances(const QString& command, const QString& source)
{
    const QString twice = command + CRLF + command + CRLF;
    Communication_HW::SendToAllChannels(twice, source);
    Globals::Pause(0.5);
    Communication_HW::SendToAllChannels(twice, source);
    Globals::Err.Clear();
}
} // namespace

frmSendCmd::frmSendCmd(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSendCmd"));
    setWindowTitle(QStringLiteral("Send Command"));

    QGroupBox* Frame1 = NamedControl<QGroupBox>(this, "Frame1", "Channel Selection");
    // A list to pick from: a typed text would name no channel at all.
    cboChannel = NamedControl<QComboBox>(Frame1, "cboChannel");
    (new QVBoxLayout(Frame1))->addWidget(cboChannel);

    QGroupBox* Frame2 = NamedControl<QGroupBox>(this, "Frame2", "Command");
    txtCommand = NamedControl<QLineEdit>(Frame2, "txtCommand");
    txtCommand->installEventFilter(this);
    chkAutoClear = NamedControl<QCheckBox>(Frame2, "chkAutoClear", "Clear after <ENTER>");
    QPushButton* cmdSend = NamedControl<QPushButton>(this, "cmdSend", "&SEND");
    auto* commandLayout = new QGridLayout(Frame2);
    commandLayout->addWidget(txtCommand, 0, 0);
    commandLayout->addWidget(cmdSend, 0, 1);
    commandLayout->addWidget(chkAutoClear, 1, 0, 1, 2);

    QGroupBox* Frame3 = NamedControl<QGroupBox>(this, "Frame3", "Switch all balances");
    QPushButton* cmdON = NamedControl<QPushButton>(Frame3, "cmdON", "O&N");
    QPushButton* cmdOFF = NamedControl<QPushButton>(Frame3, "cmdOFF", "O&FF");
    auto* switchLayout = new QHBoxLayout(Frame3);
    switchLayout->addWidget(cmdON);
    switchLayout->addWidget(cmdOFF);

    const OkCancel buttons = OkCancelButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(Frame2);
    layout->addWidget(Frame3);
    layout->addLayout(buttons.row);

    connect(cmdSend, &QPushButton::clicked, this, &frmSendCmd::cmdSend_Click);
    connect(cmdON, &QPushButton::clicked, this, &frmSendCmd::cmdON_Click);
    connect(cmdOFF, &QPushButton::clicked, this, &frmSendCmd::cmdOFF_Click);
    connect(buttons.cmdOK, &QPushButton::clicked, this, &frmSendCmd::cmdOK_Click);
    connect(buttons.cmdCancel, &QPushButton::clicked, this, &frmSendCmd::cmdCancel_Click);

    Form_Load();
}

void frmSendCmd::Form_Load()
{
    setMinimumWidth(360);
    LoadSendCmdSettings();
    adjustSize();
    Platform::CentreOnScreen(*this);
    // Ready for a command: Enter sends the last one again, typing replaces it.
    txtCommand->setFocus();
    txtCommand->selectAll();
}

void frmSendCmd::LoadSendCmdSettings()
{
    using namespace Channel_Window;
    cboChannel->addItem(QStringLiteral("All Channels"));
    const int count = std::min<int>(ChannelsCount, Globals::MaxChannels);
    for (int n = 1; n <= count; ++n)
        cboChannel->addItem(ChannelId[n].isEmpty() ? QStringLiteral("Channel-%1").arg(n)
                                                   : ChannelId[n]);
    // A stored choice beyond the list (the count was lowered since) falls back to "All
    // Channels", so that the box always shows where SEND goes.
    cboChannel->setCurrentIndex(0);
    if (Globals::SendCmdChannel < cboChannel->count())
        cboChannel->setCurrentIndex(Globals::SendCmdChannel);
    txtCommand->setText(Globals::SendCmdCommand);
    chkAutoClear->setChecked(Globals::SendCmdAutoClear == 1);
}

void frmSendCmd::cmdSend_Click()
{
    const int index = cboChannel->currentIndex();
    if (index < 0)
        return;
    const int first = index == 0 ? 1 : index;
    const int last = index == 0 ? Channel_Window::ChannelsCount : index;
    // Sent exactly as typed; an empty box sends the line end alone.
    const QString text = txtCommand->text() + CRLF;
    for (int ch = first; ch <= last; ++ch)
        Communication_HW::SendToChannel(ch, text, QStringLiteral("SendCommand"));
    Globals::Err.Clear();
}

void frmSendCmd::txtCommand_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    cmdSend_Click();
    if (chkAutoClear->isChecked())
        txtCommand->clear();
}

bool frmSendCmd::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the command box sends; it must not also reach the default button and close.
    if (watched == txtCommand && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            txtCommand_KeyPress(13);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSendCmd::cmdON_Click()
{
    switchAllBalances(QStringLiteral("ON"), QStringLiteral("SwitchON"));
}

void frmSendCmd::cmdOFF_Click()
{
    switchAllBalances(QStringLiteral("OFF"), QStringLiteral("SwitchOFF"));
}

void frmSendCmd::cmdOK_Click()
{
    Globals::SendCmdChannel = quint8(std::max(cboChannel->currentIndex(), 0));
    SettingsStore::SaveSetting(Section, QStringLiteral("Channel"),
                               QString::number(Globals::SendCmdChannel));
    Globals::SendCmdCommand = txtCommand->text();
    SettingsStore::SaveSetting(Section, QStringLiteral("Command"), Globals::SendCmdCommand);
    Globals::SendCmdAutoClear = chkAutoClear->isChecked() ? 1 : 0;
    SettingsStore::SaveSetting(Section, QStringLiteral("AutoClear"),
                               QString::number(Globals::SendCmdAutoClear));
    accept();
}

void frmSendCmd::cmdCancel_Click()
{
    QDialog::reject();
}

void frmSendCmd::reject()
{
    cmdCancel_Click();
}
