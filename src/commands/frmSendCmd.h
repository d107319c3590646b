#pragma once
// "Send Command": a typed command, followed by CR LF, to one balance or to all of them, and
// the switch-on and switch-off commands to every balance. Modeless, so the channel windows
// stay in use while it is open. OK keeps the channel choice, the command and the auto-clear
// box under "SendCommand"; Cancel keeps nothing.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;

class frmSendCmd : public QDialog
{
    Q_OBJECT
public:
    explicit frmSendCmd(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape and the window's close box act as Cancel.
    void reject() override;

private:
    void Form_Load();
    void LoadSendCmdSettings();
    void cmdSend_Click();
    void txtCommand_KeyPress(int keyAscii);
    void cmdON_Click();
    void cmdOFF_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    QComboBox* cboChannel;
    QLineEdit* txtCommand;
    QCheckBox* chkAutoClear;
};
