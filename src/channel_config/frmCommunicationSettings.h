#pragma once
// "Communication Settings": the modal dialog that edits one channel's connection settings
// string, serial or network. The channel list hands it the kind code in its Tag ("1"
// network, "2" serial, anything else neither) and the string itself in
// Communication_HW::DefaultIPSettings or DefaultCOMSettings; the same three carry the
// answer back. OK writes them; Cancel, Escape and the close button leave them as they were.
//
// Under the serial lists the dialog shows which device the chosen COM number opens and
// lets the user pick a device present or type any path (a pseudo terminal, say); OK with
// "COM Port" hands the choice for that number to the caller, who stores it. The device box
// comes last in the Tab order (and has the access key D), so the lists, OK and Cancel are
// reached with the same keys as without it.

#include <QDialog>
#include <QString>

#include "comm/serial_devices.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmCommunicationSettings : public QDialog
{
    Q_OBJECT
public:
    // callerTag is the channel list's Tag and devices the devices it has gathered; both
    // must outlive the dialog.
    frmCommunicationSettings(QString& callerTag, Communication_HW::ComPortDevices& devices,
                             QWidget* parent = nullptr);

    // The serial string the six lists describe, in fixed columns.
    QString COM_SettingsCtrl_To_Settings() const;
    // Puts a serial string's fields into the six lists; any other text changes nothing.
    void COM_Settings_To_SettingsCtrl(const QString& settings);
    // The network string from the address and port boxes; DefaultIPSettings when either
    // box holds something that is not a dotted address or a port number.
    QString IP_SettingsCtrl_To_Settings() const;
    // Puts a network string's host and port into the two boxes; any other text changes
    // nothing.
    void IP_Settings_To_SettingsCtrl(const QString& settings);

private:
    void Form_Load();
    void optUseIPPort_Click();
    void optUseCOMPort_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void setCOMHalfEnabled(bool enabled);
    void setIPHalfEnabled(bool enabled);
    void cboCOM_Click();
    void cboDevice_Change(const QString& device);
    int chosenPort() const;

    QString& m_callerTag;
    Communication_HW::ComPortDevices& m_devices;

    QGroupBox* Frame2;
    QRadioButton* optUseCOMPort;
    QRadioButton* optUseIPPort;
    QGroupBox* frameCOMSettings;
    QComboBox* cboCOM;
    QComboBox* cboDataBits;
    QComboBox* cboBaudrate;
    QComboBox* cboStopBits;
    QComboBox* cboParity;
    QComboBox* cboProtocol;
    QComboBox* cboDevice;
    QLabel* lblDeviceState;
    // Devices typed or picked so far, by COM number; OK hands on the chosen number's.
    Communication_HW::ComPortDevices m_deviceChoice;
    QGroupBox* frameIPSettings;
    QLineEdit* IPAddr;
    QLineEdit* IPPort;
    QLabel* PortInfo;
    QLabel* Label10;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};
