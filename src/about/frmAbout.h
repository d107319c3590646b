#pragma once
// The about box: the title, "Version 2.0.0" and the version record's texts.

#include <QDialog>

class QLabel;

class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    static QString VersionText();

private:
    void Form_Load();
    void cmdOK_Click();
};
