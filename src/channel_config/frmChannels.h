#pragma once
// "Channels": the modal dialog in which the user sets how many channels exist and, per
// channel, whether it is ON, its connection settings string and its identification.
//
// The dialog edits a working copy of the channel table; OK copies it back and writes it
// to the settings store, Cancel drops it. The count is the exception: a count the count box
// accepts is the program's channel count at once, also if the dialog is cancelled later.
// The dialog opens no connection; the main window reconciles after it has closed.
//
// Keys on the grid act by column: State toggles ON/OFF, Settings opens "Communication
// Settings", Identification starts the in-place editor. Enter and Escape belong to the
// editor while it is open, and to OK and Cancel otherwise.

#include <QDialog>
#include <QString>
#include <array>

#include "comm/serial_devices.h"
#include "shell/module_data.h"

class FlexGrid;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

class frmChannels : public QDialog
{
    Q_OBJECT
public:
    explicit frmChannels(QWidget* parent = nullptr);

    // Kind code exchanged with the communication settings dialog: "0" no usable settings,
    // "1" IP, "2" serial; it travels with DefaultIPSettings / DefaultCOMSettings.
    QString Tag = QStringLiteral("0");

    void LoadChannelSettings();
    void ReLoadChannelSettings();
    // Commits an open cell editor into the grid and hides the editors.
    void Change_GridList_Cell();
    // A key typed on the grid (32 for a click), acting on the current column.
    void KeyPress_GridList(int keyAscii);

private:
    void Form_Load();
    void Read_GridList();
    // Returns Cancel: true when the focus has to stay in the box.
    bool txtChannels_Validate();
    void cmdOK_Click();
    void cmdCancel_Click();
    void openCommunicationSettings();

    std::array<QString, 2> StateText;
    Channel_Window::ChannelArray<quint8> EditState{};
    Channel_Window::ChannelArray<QString> EditSettings;
    Channel_Window::ChannelArray<QString> EditId;
    int EditRow = 1;
    quint8 m_loadedCount = 0;
    // Serial devices chosen in "Communication Settings", stored with OK alone.
    Communication_HW::ComPortDevices m_devices;

    QGroupBox* Frame1;
    QLineEdit* txtChannels;
    QGroupBox* Frame2;
    FlexGrid* gridList;
    QLineEdit* txtEditGrid;
    QComboBox* cboEditGrid;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};
