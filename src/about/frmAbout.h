#pragma once
// The about box: the title, "Version 2.0.0" and the version record's texts. Modal; every
// opening centres it on the screen again.

#include <QDialog>

class QIcon;
class QLabel;
class QPainter;

class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // major.minor.revision of this build, and "Version " with it.
    static QString VersionNumber();
    static QString VersionText();
    // The product picture: a laboratory balance, drawn into a size x size square. The same
    // drawing is the program's icon, on its windows and in the desktop's menu.
    static QPixmap ProductPicture(int size);
    static void PaintProductPicture(QPainter& painter, int size);
    static QIcon ProgramIcon();

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
