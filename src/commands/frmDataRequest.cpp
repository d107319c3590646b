#include "commands/frmDataRequest.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "channel_config/edit_grid_tool.h"
#include "channel_config/flex_grid.h"
#include "comm/channel_connections.h"
#include "platform/dialog_controls.h"
#include "platform/settings_store.h"
#include "platform/user_prompts.h"
#include "platform/validate_on_leave.h"
#include "platform/window_placement.h"
#include "shell/load_settings.h"
#include "shell/module_data.h"
#include "shell/pending_error.h"

namespace {
const QString Section = QStringLiteral("DataRequest");
constexpr qint32 ShortestInterval = 200;
constexpr qint32 LongestInterval = 65000;

int channelCount()
{
    return std::min<int>(Channel_Window::ChannelsCount, Globals::MaxChannels);
}
} // namespace

frmDataRequest::frmDataRequest(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDataRequest"));
    setWindowTitle(QStringLiteral("Data Request"));
    setModal(true);

    auto* Frame1 = NamedControl<QGroupBox>(this, "Frame1", "Request Command");
    gridCmd = NamedControl<FlexGrid>(Frame1, "gridCmd");
    gridCmd->setColumnCount(2);
    gridCmd->setMinimumSize(240, 280);
    gridCmd->horizontalHeader()->setStretchLastSection(true);
    // The editor lies over the grid's cells, so it is the grid's sibling outside the layout.
    txtEditGrid = NamedControl<QLineEdit>(Frame1, "txtEditGrid");
    (new QVBoxLayout(Frame1))->addWidget(gridCmd);

    auto* Frame3 = NamedControl<QGroupBox>(this, "Frame3", "Mode");
    chkRepeatCommand = NamedControl<QCheckBox>(Frame3, "chkRepeatCommand", "Repeat ON");
    txtInterval = NamedControl<QLineEdit>(Frame3, "txtInterval");
    txtInterval->setMaximumWidth(80);
    auto* mode = new QGridLayout(Frame3);
    mode->addWidget(NamedControl<QLabel>(Frame3, "Label2", "Repeat Request"), 0, 0, 1, 3);
    mode->addWidget(chkRepeatCommand, 1, 0, 1, 3);
    mode->addWidget(NamedControl<QLabel>(Frame3, "Label1", "Interval:"), 2, 0);
    mode->addWidget(txtInterval, 2, 1);
    mode->addWidget(NamedControl<QLabel>(Frame3, "Label3", "ms"), 2, 2);

    auto* cmdRequestNow = NamedControl<QPushButton>(this, "cmdRequestNow", "&Request Now");
    auto* PRTInfo = NamedControl<QLabel>(this, "PRTInfo",
                                         "Use Command \"PRT\" for balance Print Key simulation");
    PRTInfo->setWordWrap(true);

    auto* side = new QVBoxLayout;
    side->addWidget(Frame3);
    side->addWidget(cmdRequestNow);
    side->addStretch(1);
    side->addWidget(NamedControl<QLabel>(this, "Label4", "Note:"));
    side->addWidget(PRTInfo);
    auto* top = new QHBoxLayout;
    top->addWidget(Frame1, 1);
    top->addLayout(side);
    const OkCancel buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons.row);

    connect(chkRepeatCommand, &QCheckBox::toggled, this, &frmDataRequest::chkRepeatCommand_Click);
    connect(cmdRequestNow, &QPushButton::clicked, this, &frmDataRequest::cmdRequestNow_Click);
    connect(buttons.cmdOK, &QPushButton::clicked, this, &frmDataRequest::cmdOK_Click);
    connect(buttons.cmdCancel, &QPushButton::clicked, this, &frmDataRequest::reject);
    const auto commit = [this] { Change_GridCmd_Cell(); };
    EditGridTool::WireGrid(gridCmd, commit, [this](int keyAscii) { gridCmd_KeyPress(keyAscii); });
    EditGridTool::WireTextEditor(gridCmd, txtEditGrid, commit);
    Platform::ValidateOnLeave(txtInterval, [this] { return txtInterval_Validate(); },
                              {buttons.cmdCancel});

    Form_Load();
}

void frmDataRequest::Form_Load()
{
    LoadRequestSettings();
    adjustSize();
    Platform::CentreOnScreen(*this);
    gridCmd->setFocus();
}

void frmDataRequest::LoadRequestSettings()
{
    chkRepeatCommand->setChecked(Globals::RepeatCommand == 1);
    txtInterval->setText(QString::number(Globals::RepeatInterval));
    chkRepeatCommand_Click();

    gridCmd->setTextMatrix(0, 0, QStringLiteral(" Channel "));
    gridCmd->setTextMatrix(0, 1, QStringLiteral("Command"));
    const int count = channelCount();
    gridCmd->setRows(count + 1);
    for (int col = 0; col < 2; ++col)
        gridCmd->setColAlignment(col, Qt::AlignCenter);
    for (int n = 1; n <= count; ++n) {
        gridCmd->setTextMatrix(n, 0, QString::number(n));
        gridCmd->setTextMatrix(n, 1, Channel_Window::ChannelCommand[n]);
    }
    gridCmd->resizeColumnToContents(0);
    // The first channel's command is current, so a key typed at once edits a command and
    // never the header.
    gridCmd->setCol(1);
    gridCmd->setRow(1);

    txtEditGrid->hide();
    txtEditGrid->clear();
}

void frmDataRequest::chkRepeatCommand_Click()
{
    txtInterval->setEnabled(chkRepeatCommand->isChecked());
}

void frmDataRequest::Change_GridCmd_Cell()
{
    if (!txtEditGrid->isVisible())
        return;
    gridCmd->setText(txtEditGrid->text());
    txtEditGrid->hide();
}

void frmDataRequest::gridCmd_KeyPress(int keyAscii)
{
    if (gridCmd->Row() < gridCmd->FixedRows())
        return;
    // Only commands are edited: a key or click on a channel number edits that channel's.
    gridCmd->setCol(1);
    EditGridTool::Show_CellEditor(gridCmd, txtEditGrid, keyAscii);
}

bool frmDataRequest::txtInterval_Validate()
{
    const std::optional<qint32> value = Settings::ToLong(txtInterval->text());
    if (value && *value >= ShortestInterval && *value <= LongestInterval) {
        Globals::RepeatInterval = *value;
        return false;
    }
    txtInterval->setText(QString::number(Globals::RepeatInterval));
    Platform::MsgBox(QStringLiteral("Please enter a number from %1 to %2")
                         .arg(ShortestInterval)
                         .arg(LongestInterval),
                     Platform::vbOKOnly + Platform::vbExclamation, QStringLiteral("Interval time"));
    // A number out of range keeps the focus for a new try; a text that is no number at all
    // lets the user go on with the old value.
    return value.has_value();
}

bool frmDataRequest::intervalAccepted()
{
    return txtInterval->text() == QString::number(Globals::RepeatInterval) ||
           !txtInterval_Validate();
}

void frmDataRequest::cmdRequestNow_Click()
{
    if (!intervalAccepted())
        return;
    for (int n = 1; n <= channelCount(); ++n)
        Communication_HW::SendToChannel(n, gridCmd->TextMatrix(n, 1) + QStringLiteral("\r\n"),
                                        QStringLiteral("Request now"));
    Globals::Err.Clear();
}

void frmDataRequest::cmdOK_Click()
{
    if (!intervalAccepted())
        return;
    // An open cell edit counts as the user sees it (Alt+O does not take the focus from it).
    Change_GridCmd_Cell();

    Globals::RepeatCommand = chkRepeatCommand->isChecked() ? 1 : 0;
    SettingsStore::SaveSetting(Section, QStringLiteral("RepeatCommand"),
                               QString::number(Globals::RepeatCommand));
    SettingsStore::SaveSetting(Section, QStringLiteral("RepeatInterval"),
                               QString::number(Globals::RepeatInterval));
    for (int n = 1; n <= channelCount(); ++n) {
        Channel_Window::ChannelCommand[n] = gridCmd->TextMatrix(n, 1);
        SettingsStore::SaveSetting(Section, QStringLiteral("Ch-%1_Command").arg(n),
                                   Channel_Window::ChannelCommand[n]);
    }
    accept();
}
