#pragma once
// "Publish": whether every reading goes to the lab's MQTT broker, and how to reach it.
// Modal. Each box is checked when the focus leaves it; OK checks them all again, writes
// the section [Publish] of the settings store and the password (only when one was typed)
// into the desktop's secret store, and the publisher connects anew. Cancel keeps
// nothing.

#include <QDialog>

class QCheckBox;
class QLineEdit;

class frmPublish : public QDialog
{
    Q_OBJECT
public:
    explicit frmPublish(QWidget* parent = nullptr);

private:
    void Form_Load();
    // Each returns Cancel: true when the text is refused and the focus stays in the box.
    bool txtBroker_Validate();
    bool txtTopic_Validate();
    bool txtClientId_Validate();
    bool txtCAFile_Validate();
    void cmdOK_Click();

    QCheckBox* chkEnabled;
    QLineEdit* txtBroker;
    QLineEdit* txtTopic;
    QLineEdit* txtClientId;
    QLineEdit* txtUser;
    QLineEdit* txtPassword;
    QCheckBox* chkTLS;
    QLineEdit* txtCAFile;
};
