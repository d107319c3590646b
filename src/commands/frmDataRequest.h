#pragma once
// "Data Request": each channel's request command (edited in place in the grid), whether the
// main window repeats the request and how often, and "Request Now" to send every command
// once. Modal; the main window's channel activity is stopped while it is open. OK keeps the
// mode, the interval and the commands of channels 1..count under "DataRequest"; Cancel
// keeps nothing (an interval the box has accepted is in use at once all the same).

#include <QDialog>

class FlexGrid;
class QCheckBox;
class QLineEdit;

class frmDataRequest : public QDialog
{
    Q_OBJECT
public:
    explicit frmDataRequest(QWidget* parent = nullptr);

    // When the cell editor is open: the current cell takes its text and it closes.
    void Change_GridCmd_Cell();

private:
    void Form_Load();
    void LoadRequestSettings();
    void chkRepeatCommand_Click();
    // Returns Cancel: true when the focus has to stay in the box.
    bool txtInterval_Validate();
    void gridCmd_KeyPress(int keyAscii);
    // Buttons reached with Enter or their access key leave the interval box without its
    // focus-loss check, so they check an unconfirmed text themselves.
    bool intervalAccepted();
    void cmdRequestNow_Click();
    void cmdOK_Click();

    FlexGrid* gridCmd;
    QLineEdit* txtEditGrid;
    QCheckBox* chkRepeatCommand;
    QLineEdit* txtInterval;
};
