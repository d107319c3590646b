#pragma once
// Sends a file to channel 1 exactly as it is on disk, in pieces of 100 bytes with a short
// pause after each, so that a slow serial device is not flooded and the program stays
// responsive. The small status window "File to Send Status" shows the progress; its button
// reads "Cancel" while pieces go out (a click stops the transfer) and "OK" at the end.

#include <QDialog>

class QFile;

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

class frmSendFile : public QDialog
{
    Q_OBJECT
public:
    // The one status window of the main window, made on first use.
    static frmSendFile& Of(QWidget* mainWindow);

    // Asks for the file ("Open File", preset to the last one chosen in this run) and sends
    // it. A cancelled choice does nothing. Only a regular file is sent: anything else, or a
    // file that cannot be read, ends with a message naming the file and the reason.
    void SendFile();
    // The program is ending: not one more piece goes out, and the window goes.
    void EndTransfer();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape acts as the button: a user who presses it means to stop the transfer.
    void keyPressEvent(QKeyEvent* event) override;

private:
    explicit frmSendFile(QWidget* mainWindow);
    void Form_Load();
    void SendFileData(const QString& fileName);
    void cmdCtrlButton_Click();
    void unload();
    // Ends the transfer with a box naming the file and why it could not (all) be sent.
    void refuse(const QString& fileName, const QString& reason, qint64 sent, qint64 total);

    QGroupBox* Frame1;
    QLabel* lblState;
    QProgressBar* ProgressBar1;
    QPushButton* cmdCtrlButton;
    bool m_loaded = false;
    // The file of the transfer under way; Cancel closes it, which ends that transfer.
    QFile* m_sending = nullptr;
};
