#pragma once
// The about box: the title, "Version 2.0.0" and the version record's texts. Modal; every
// opening centres it on the screen again.

#include <QDialog>

class QLabel;

class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // "Version " and major.minor.revision of this build.
    static QString VersionText();
    // The product picture: a laboratory balance, drawn.
    static QPixmap ProductPicture(int size);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void cmdOK_Click();

    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* lblCopyright;
};
