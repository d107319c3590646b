#include "channel_config/frmChannels.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "channel_config/edit_grid_tool.h"
#include "channel_config/flex_grid.h"
#include "channel_config/frmCommunicationSettings.h"
#include "comm/settings_string.h"
#include "platform/dialog_controls.h"
#include "platform/settings_store.h"
#include "platform/user_prompts.h"
#include "platform/validate_on_leave.h"
#include "platform/window_placement.h"
#include "shell/load_settings.h"

using namespace Channel_Window;
using namespace Communication_HW;

namespace {
enum Column { ColChannel, ColState, ColSettings, ColId };
constexpr int MaxChannels = Globals::MaxChannels;
} // namespace

frmChannels::frmChannels(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmChannels"));
    setWindowTitle(QStringLiteral("Channels"));
    setModal(true);

    Frame1 = new QGroupBox(QStringLiteral("Channels Count"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtChannels = new QLineEdit(Frame1);
    txtChannels->setObjectName(QStringLiteral("txtChannels"));
    txtChannels->setMaximumWidth(80);
    Platform::ValidateOnLeave(txtChannels, [this] { return txtChannels_Validate(); });
    auto* countLayout = new QHBoxLayout(Frame1);
    countLayout->addWidget(txtChannels);
    countLayout->addStretch(1);

    Frame2 = new QGroupBox(QStringLiteral("Channel List"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    gridList = new FlexGrid(Frame2);
    gridList->setObjectName(QStringLiteral("gridList"));
    gridList->setColumnCount(4);
    // The design headers size the columns: the third has the form of the longest serial
    // settings string, so every settings string fits; the last column takes the rest.
    const QStringList design{QStringLiteral(" Channel "), QStringLiteral("    State    "),
                             QStringLiteral(" COM16,57600,e,7,1,Xon/Xoff "),
                             QStringLiteral(" Identification")};
    for (int col = ColChannel; col <= ColId; ++col) {
        gridList->setTextMatrix(0, col, design[col]);
        gridList->setColAlignment(col, Qt::AlignCenter);
    }
    gridList->resizeColumnsToContents();
    gridList->horizontalHeader()->setStretchLastSection(true);
    auto* listLayout = new QVBoxLayout(Frame2);
    listLayout->addWidget(gridList);

    // The editors float over the grid's cells, outside the layout.
    txtEditGrid = new QLineEdit(Frame2);
    txtEditGrid->setObjectName(QStringLiteral("txtEditGrid"));
    txtEditGrid->hide();
    cboEditGrid = new QComboBox(Frame2);
    cboEditGrid->setObjectName(QStringLiteral("cboEditGrid"));
    cboEditGrid->hide();

    const auto commit = [this] { Change_GridList_Cell(); };
    EditGridTool::WireGrid(gridList, commit, [this](int keyAscii) { KeyPress_GridList(keyAscii); });
    EditGridTool::WireTextEditor(gridList, txtEditGrid, commit);
    EditGridTool::WireComboEditor(gridList, cboEditGrid, commit);

    const OkCancel buttons = OkCancelButtons(this);
    cmdOK = buttons.cmdOK;
    cmdCancel = buttons.cmdCancel;
    connect(cmdOK, &QPushButton::clicked, this, &frmChannels::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmChannels::cmdCancel_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(Frame2, 1);
    layout->addLayout(buttons.row);

    setTabOrder(txtChannels, gridList);
    setTabOrder(gridList, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    resize(std::max(560, gridList->horizontalHeader()->length() + 180), 480);

    Form_Load();
}

void frmChannels::Form_Load()
{
    Platform::CentreOnScreen(*this);
    for (int n = 1; n <= MaxChannels; ++n) {
        EditState[n] = ChannelState[n];
        EditSettings[n] = ChannelSettings[n];
        EditId[n] = ChannelId[n];
    }
    m_loadedCount = ChannelsCount;
    LoadChannelSettings();
}

void frmChannels::LoadChannelSettings()
{
    StateText = {QStringLiteral("OFF"), QStringLiteral("ON")};
    cboEditGrid->clear();
    cboEditGrid->addItems({StateText[0], StateText[1]});
    EditRow = 1;
    ReLoadChannelSettings();
    gridList->setCol(ColState);
    gridList->setRow(EditRow);
}

void frmChannels::ReLoadChannelSettings()
{
    txtEditGrid->clear();
    txtChannels->setText(QString::number(ChannelsCount));
    gridList->setRows(ChannelsCount + 1);
    gridList->setTextMatrix(0, ColSettings, QStringLiteral("Settings"));
    for (int n = 1; n <= ChannelsCount; ++n) {
        gridList->setTextMatrix(n, ColChannel, QString::number(n));
        // A hand-edited store may hold any state number; the program treats non-zero as ON.
        gridList->setTextMatrix(n, ColState, StateText[EditState[n] != 0 ? 1 : 0]);
        gridList->setTextMatrix(n, ColSettings, EditSettings[n]);
        gridList->setTextMatrix(n, ColId, EditId[n]);
    }
    cboEditGrid->hide();
    txtEditGrid->hide();
}

void frmChannels::Read_GridList()
{
    for (int n = 1; n <= ChannelsCount && n < gridList->Rows(); ++n) {
        EditState[n] = gridList->TextMatrix(n, ColState) == StateText[1] ? 1 : 0;
        EditSettings[n] = gridList->TextMatrix(n, ColSettings);
        EditId[n] = gridList->TextMatrix(n, ColId);
    }
}

void frmChannels::Change_GridList_Cell()
{
    if (!txtEditGrid->isVisible() && !cboEditGrid->isVisible())
        return;
    if (gridList->Col() == ColId)
        gridList->setText(txtEditGrid->text());
    txtEditGrid->hide();
    cboEditGrid->hide();
}

void frmChannels::KeyPress_GridList(int keyAscii)
{
    EditRow = gridList->Row();
    if (EditRow < 1)
        return;
    switch (gridList->Col()) {
    case ColState:
        gridList->setText(gridList->Text() == StateText[1] ? StateText[0] : StateText[1]);
        break;
    case ColSettings:
        openCommunicationSettings();
        break;
    case ColId:
        EditGridTool::Show_CellEditor(gridList, txtEditGrid, keyAscii);
        break;
    default:
        break;
    }
}

void frmChannels::openCommunicationSettings()
{
    Tag = QStringLiteral("0");
    const QString cell = gridList->Text();
    if (IsIPSettings(cell)) {
        DefaultIPSettings = cell;
        Tag = QStringLiteral("1");
    } else if (IsCOMSettings(cell)) {
        DefaultCOMSettings = cell;
        Tag = QStringLiteral("2");
    }
    {
        frmCommunicationSettings settings(Tag, m_devices, this);
        settings.exec();
    }
    // Any outcome with a usable string switches the channel on; none empties it and
    // switches it off.
    const int kind = Settings::ToInteger(Tag).value_or(0);
    gridList->setText(kind == 1 ? DefaultIPSettings : kind == 2 ? DefaultCOMSettings : QString());
    gridList->setTextMatrix(EditRow, ColState, StateText[kind == 1 || kind == 2 ? 1 : 0]);
}

bool frmChannels::txtChannels_Validate()
{
    const std::optional<qint16> value = Settings::ToInteger(txtChannels->text());
    if (value && *value >= 1 && *value <= MaxChannels) {
        ChannelsCount = quint8(*value);
        if (EditRow > ChannelsCount)
            EditRow = 1;
        Read_GridList();
        ReLoadChannelSettings();
        return false;
    }
    txtChannels->setText(QString::number(ChannelsCount));
    Platform::MsgBox(QStringLiteral("Please enter a number from 1 to %1").arg(MaxChannels),
                     Platform::vbOKOnly + Platform::vbExclamation,
                     QStringLiteral("Channels Count"));
    // Text that is no number lets the focus go; a number out of range keeps it.
    return value.has_value();
}

void frmChannels::cmdOK_Click()
{
    // OK reached by its access key leaves the focus in an open cell editor: take its text.
    Change_GridList_Cell();
    const std::optional<quint8> typed = Settings::ToByte(txtChannels->text());
    const quint8 newCount = typed ? std::clamp<quint8>(*typed, 1, MaxChannels) : m_loadedCount;
    Read_GridList();
    for (int n = 1; n <= MaxChannels; ++n) {
        ChannelState[n] = EditState[n];
        ChannelSettings[n] = EditSettings[n];
        ChannelId[n] = EditId[n];
    }
    ChannelsCount = newCount;

    const QString section = QStringLiteral("Channels");
    SettingsStore::SaveSetting(section, QStringLiteral("CannelsCount"),
                               QString::number(ChannelsCount));
    for (int n = 1; n <= ChannelsCount; ++n) {
        const QString key = QStringLiteral("Ch-%1_").arg(n);
        SettingsStore::SaveSetting(section, key + QLatin1String("State"),
                                   ChannelState[n] ? QStringLiteral("1") : QStringLiteral("0"));
        SettingsStore::SaveSetting(section, key + QLatin1String("Settings"), ChannelSettings[n]);
        SettingsStore::SaveSetting(section, key + QLatin1String("Id"), ChannelId[n]);
    }
    StoreComPortDevices(m_devices);
    accept();
}

void frmChannels::cmdCancel_Click()
{
    reject();
}
