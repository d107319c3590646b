#include "channel_config/frmCommunicationSettings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "comm/serial_devices.h"
#include "comm/settings_string.h"
#include "platform/window_placement.h"
#include "shell/load_settings.h"
#include "shell/module_data.h"

using namespace Communication_HW;

namespace {

// The serial string whose entries a list falls back to when a stored text matches none of
// its own (only a hand-edited store holds such a text): what the user sees is then always
// what OK stores.
const QString FallbackCOMSettings = QStringLiteral("COM  1, 9600,e,7,1,None");

// A drop-down list with its caption, in one of the two columns of the serial half.
QComboBox* addList(QGridLayout* grid, int row, int column, const QString& name,
                   const QString& caption)
{
    auto* list = new QComboBox;
    list->setObjectName(name);
    auto* label = new QLabel(caption);
    label->setBuddy(list);
    grid->addWidget(label, row, column * 2);
    grid->addWidget(list, row, column * 2 + 1);
    return list;
}

void selectEntry(QComboBox* list, const QString& text, const QString& fallback)
{
    const int index = list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    list->setCurrentIndex(
        index >= 0 ? index : list->findText(fallback, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QStringList portNumbers()
{
    QStringList numbers;
    for (int n = 1; n <= Communication_HW::MaxComPort; ++n)
        numbers << QString::number(n);
    return numbers;
}

} // namespace

frmCommunicationSettings::frmCommunicationSettings(QString& callerTag,
                                                   Communication_HW::ComPortDevices& devices,
                                                   QWidget* parent)
    : QDialog(parent), m_callerTag(callerTag), m_devices(devices), m_deviceChoice(devices)
{
    setObjectName(QStringLiteral("frmCommunicationSettings"));
    setWindowTitle(QStringLiteral("Communication Settings"));
    setModal(true);

    Frame2 = new QGroupBox(QStringLiteral("Select Communication Hardware"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    optUseCOMPort = new QRadioButton(QStringLiteral("COM Port"), Frame2);
    optUseCOMPort->setObjectName(QStringLiteral("optUseCOMPort"));
    optUseIPPort = new QRadioButton(QStringLiteral("IP Port"), Frame2);
    optUseIPPort->setObjectName(QStringLiteral("optUseIPPort"));
    auto* options = new QHBoxLayout(Frame2);
    options->addWidget(optUseCOMPort);
    options->addStretch(1);
    options->addWidget(optUseIPPort);
    options->addStretch(1);

    frameCOMSettings = new QGroupBox(QStringLiteral("COM Settings"), this);
    frameCOMSettings->setObjectName(QStringLiteral("frameCOMSettings"));
    auto* com = new QGridLayout(frameCOMSettings);
    cboCOM = addList(com, 0, 0, QStringLiteral("cboCOM"), QStringLiteral("COM:"));
    cboDataBits = addList(com, 0, 1, QStringLiteral("cboDataBits"), QStringLiteral("Databits:"));
    cboBaudrate = addList(com, 1, 0, QStringLiteral("cboBaudrate"), QStringLiteral("Baudrate:"));
    cboStopBits = addList(com, 1, 1, QStringLiteral("cboStopBits"), QStringLiteral("Stopbits:"));
    cboParity = addList(com, 2, 0, QStringLiteral("cboParity"), QStringLiteral("Parity:"));
    cboProtocol = addList(com, 2, 1, QStringLiteral("cboProtocol"), QStringLiteral("Protocol:"));
    cboDevice = new QComboBox(frameCOMSettings);
    cboDevice->setObjectName(QStringLiteral("cboDevice"));
    cboDevice->setEditable(true);
    cboDevice->setInsertPolicy(QComboBox::NoInsert);
    auto* deviceLabel = new QLabel(QStringLiteral("&Device:"), frameCOMSettings);
    deviceLabel->setBuddy(cboDevice);
    lblDeviceState = new QLabel(frameCOMSettings);
    lblDeviceState->setObjectName(QStringLiteral("lblDeviceState"));
    com->addWidget(deviceLabel, 3, 0);
    com->addWidget(cboDevice, 3, 1, 1, 3);
    com->addWidget(lblDeviceState, 4, 1, 1, 3);
    // The baud texts are right-aligned in five places; a fixed-pitch font keeps them so.
    cboBaudrate->setFont(QFont(QStringLiteral("Monospace")));
    com->setColumnStretch(1, 1);
    com->setColumnStretch(3, 1);

    frameIPSettings = new QGroupBox(QStringLiteral("IP Settings"), this);
    frameIPSettings->setObjectName(QStringLiteral("frameIPSettings"));
    IPAddr = new QLineEdit(QStringLiteral("888.888.888.888"), frameIPSettings);
    IPAddr->setObjectName(QStringLiteral("IPAddr"));
    IPPort = new QLineEdit(QStringLiteral("2101"), frameIPSettings);
    IPPort->setObjectName(QStringLiteral("IPPort"));
    PortInfo = new QLabel(QStringLiteral("Default ports:"), frameIPSettings);
    PortInfo->setObjectName(QStringLiteral("PortInfo"));
    Label10 = new QLabel(QStringLiteral("Veltrano = 2101 / MOXA =  4001"), frameIPSettings);
    Label10->setObjectName(QStringLiteral("Label10"));
    auto* ip = new QGridLayout(frameIPSettings);
    auto* addressLabel = new QLabel(QStringLiteral("Address:"), frameIPSettings);
    addressLabel->setBuddy(IPAddr);
    auto* portLabel = new QLabel(QStringLiteral("Port:"), frameIPSettings);
    portLabel->setBuddy(IPPort);
    ip->addWidget(addressLabel, 0, 0);
    ip->addWidget(IPAddr, 0, 1);
    ip->addWidget(portLabel, 0, 2);
    ip->addWidget(IPPort, 0, 3);
    ip->addWidget(PortInfo, 1, 0, 1, 4);
    ip->addWidget(Label10, 2, 0, 1, 4);
    ip->setColumnStretch(1, 3);
    ip->setColumnStretch(3, 1);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame2);
    layout->addWidget(frameCOMSettings);
    layout->addWidget(frameIPSettings);
    layout->addLayout(buttons);

    QWidget* const tabOrder[] = {optUseCOMPort, optUseIPPort, cboCOM,      cboBaudrate, cboParity,
                                 cboDataBits,   cboStopBits,  cboProtocol, IPAddr,      cmdOK,
                                 cmdCancel,     IPPort,       cboDevice};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(optUseIPPort, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optUseIPPort_Click();
    });
    connect(optUseCOMPort, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optUseCOMPort_Click();
    });
    connect(cboCOM, &QComboBox::currentIndexChanged, this, &frmCommunicationSettings::cboCOM_Click);
    connect(cboDevice, &QComboBox::editTextChanged, this,
            &frmCommunicationSettings::cboDevice_Change);
    connect(cmdOK, &QPushButton::clicked, this, &frmCommunicationSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmCommunicationSettings::cmdCancel_Click);

    Form_Load();
}

void frmCommunicationSettings::Form_Load()
{
    for (const SerialDevice& device : PresentSerialDevices()) {
        cboDevice->addItem(device.path);
        cboDevice->setItemData(cboDevice->count() - 1, device.description, Qt::ToolTipRole);
    }
    cboCOM->addItems(portNumbers());
    cboBaudrate->addItems({QStringLiteral("  300"), QStringLiteral("  600"),
                           QStringLiteral(" 1200"), QStringLiteral(" 2400"),
                           QStringLiteral(" 9600"), QStringLiteral("19200"),
                           QStringLiteral("38400"), QStringLiteral("57600")});
    cboParity->addItems({QStringLiteral("Even"), QStringLiteral("Odd"), QStringLiteral("None")});
    cboDataBits->addItems({QStringLiteral("7"), QStringLiteral("8")});
    cboStopBits->addItems({QStringLiteral("1"), QStringLiteral("2")});
    for (const QString& name : Handshakes)
        cboProtocol->addItem(name);

    // Both halves show a string: the channel's own in its half, the last one used of the
    // other kind in the other.
    IP_Settings_To_SettingsCtrl(DefaultIPSettings);
    COM_Settings_To_SettingsCtrl(DefaultCOMSettings);

    const qint32 kind = Settings::ToLong(m_callerTag).value_or(0);
    if (kind == 1)
        optUseIPPort->setChecked(true);
    else if (kind == 2)
        optUseCOMPort->setChecked(true);

    adjustSize();
    Platform::CentreOnScreen(*this);
}

QString frmCommunicationSettings::COM_SettingsCtrl_To_Settings() const
{
    return ComposeCOMSettings(cboCOM->currentText().toInt(), cboBaudrate->currentText(),
                              cboParity->currentIndex(), cboDataBits->currentText(),
                              cboStopBits->currentText(), cboProtocol->currentText());
}

void frmCommunicationSettings::COM_Settings_To_SettingsCtrl(const QString& settings)
{
    if (!IsCOMSettings(settings))
        return;
    const COMDialogFields fields = ParseCOMForDialog(settings);
    const COMDialogFields fallback = ParseCOMForDialog(FallbackCOMSettings);
    selectEntry(cboCOM, fields.port, fallback.port);
    selectEntry(cboBaudrate, fields.baud, fallback.baud);
    cboParity->setCurrentIndex(fields.parityIndex);
    selectEntry(cboDataBits, fields.dataBits, fallback.dataBits);
    selectEntry(cboStopBits, fields.stopBits, fallback.stopBits);
    selectEntry(cboProtocol, fields.handshake, fallback.handshake);
}

QString frmCommunicationSettings::IP_SettingsCtrl_To_Settings() const
{
    return ComposeIPSettings(IPAddr->text(), IPPort->text());
}

void frmCommunicationSettings::IP_Settings_To_SettingsCtrl(const QString& settings)
{
    if (!IsIPSettings(settings))
        return;
    const qsizetype colon = settings.indexOf(u':');
    IPAddr->setText(settings.mid(3, colon - 3));
    IPPort->setText(settings.mid(colon + 1));
}

void frmCommunicationSettings::setCOMHalfEnabled(bool enabled)
{
    frameCOMSettings->setEnabled(enabled);
    for (QComboBox* list :
         {cboCOM, cboBaudrate, cboParity, cboDataBits, cboStopBits, cboProtocol, cboDevice})
        list->setEnabled(enabled);
}

void frmCommunicationSettings::setIPHalfEnabled(bool enabled)
{
    frameIPSettings->setEnabled(enabled);
    IPAddr->setEnabled(enabled);
    IPPort->setEnabled(enabled);
}

void frmCommunicationSettings::optUseIPPort_Click()
{
    setIPHalfEnabled(true);
    optUseCOMPort->setChecked(false);
    setCOMHalfEnabled(false);
}

void frmCommunicationSettings::optUseCOMPort_Click()
{
    setCOMHalfEnabled(true);
    optUseIPPort->setChecked(false);
    setIPHalfEnabled(false);
}

int frmCommunicationSettings::chosenPort() const
{
    return cboCOM->currentText().toInt();
}

void frmCommunicationSettings::cboCOM_Click()
{
    const int port = chosenPort();
    cboDevice->setEditText(m_deviceChoice.value(port, ComPortDevice(port)));
}

void frmCommunicationSettings::cboDevice_Change(const QString& device)
{
    if (chosenPort() > 0)
        m_deviceChoice.insert(chosenPort(), device);
    // An absent device is an ordinary state (adapter unplugged, simulator not running),
    // so it is said here and nowhere else.
    QString state = QStringLiteral("not present");
    if (SerialDeviceExists(device)) {
        const int listed = cboDevice->findText(device, Qt::MatchExactly | Qt::MatchCaseSensitive);
        state = listed >= 0 ? cboDevice->itemData(listed, Qt::ToolTipRole).toString() : QString();
        if (state.isEmpty())
            state = QStringLiteral("present");
    }
    lblDeviceState->setText(state);
}

void frmCommunicationSettings::cmdOK_Click()
{
    m_callerTag = QStringLiteral("0");
    if (optUseIPPort->isChecked()) {
        DefaultIPSettings = IP_SettingsCtrl_To_Settings();
        m_callerTag = QStringLiteral("1");
    } else if (optUseCOMPort->isChecked()) {
        DefaultCOMSettings = COM_SettingsCtrl_To_Settings();
        m_callerTag = QStringLiteral("2");
        m_devices.insert(chosenPort(), cboDevice->currentText().trimmed());
    }
    accept();
}

void frmCommunicationSettings::cmdCancel_Click()
{
    reject();
}
