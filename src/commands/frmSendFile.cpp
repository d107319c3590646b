#include "commands/frmSendFile.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

#include "comm/channel_connections.h"
#include "platform/user_prompts.h"
#include "platform/window_placement.h"
#include "shell/module_data.h"
#include "shell/pause.h"

namespace {

constexpr qint64 PieceSize = 100;
constexpr double PauseAfterPiece = 0.02;

QString progressText(const char* what, qint64 sent, qint64 total)
{
    return QStringLiteral("%1: %2 Bytes of %3").arg(QLatin1String(what)).arg(sent).arg(total);
}

} // namespace

frmSendFile& frmSendFile::Of(QWidget* mainWindow)
{
    auto* form = mainWindow->findChild<frmSendFile*>(QString(), Qt::FindDirectChildrenOnly);
    return form ? *form : *new frmSendFile(mainWindow);
}

frmSendFile::frmSendFile(QWidget* mainWindow) : QDialog(mainWindow)
{
    setObjectName(QStringLiteral("frmSendFile"));
    setModal(false);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    lblState = new QLabel(QStringLiteral("Initalizing"), Frame1);
    lblState->setObjectName(QStringLiteral("lblState"));
    QFont stateFont(QStringLiteral("Arial"));
    stateFont.setPointSizeF(9.75);
    stateFont.setBold(true);
    lblState->setFont(stateFont);
    ProgressBar1 = new QProgressBar(Frame1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    cmdCtrlButton = new QPushButton(QStringLiteral("OK"), Frame1);
    cmdCtrlButton->setObjectName(QStringLiteral("cmdCtrlButton"));
    cmdCtrlButton->setAutoDefault(false);
    connect(cmdCtrlButton, &QPushButton::clicked, this, &frmSendFile::cmdCtrlButton_Click);

    auto* frame = new QVBoxLayout(Frame1);
    frame->addWidget(lblState);
    frame->addWidget(ProgressBar1);
    frame->addWidget(cmdCtrlButton, 0, Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    setMinimumWidth(360);
}

void frmSendFile::Form_Load()
{
    m_loaded = true;
    setWindowTitle(QStringLiteral("Send File Status"));
    cmdCtrlButton->setText(QStringLiteral("Cancel"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    adjustSize();
    Platform::CentreOver(*this, *parentWidget());
}

void frmSendFile::SendFile()
{
    // One transfer at a time: while pieces go out the menu only brings the window back.
    if (m_sending) {
        show();
        raise();
        activateWindow();
        return;
    }
    if (!m_loaded)
        Form_Load();

    Platform::FileDialogRequest request;
    request.title = QStringLiteral("Open File");
    request.filter = QStringLiteral("*.TXT (Text Files)|*.TXT|*.* (All Files)|*.*");
    // The last file of this run, else the current directory.
    request.fileName = Globals::SendFileName.isEmpty() ? QDir::currentPath() + QDir::separator()
                                                       : Globals::SendFileName;
    const std::optional<QString> chosen = Platform::Prompts().OpenFileName(request);
    if (!chosen)
        return;
    Globals::SendFileName = *chosen;
    if (!Globals::SendFileName.isEmpty())
        SendFileData(Globals::SendFileName);
}

void frmSendFile::SendFileData(const QString& fileName)
{
    show();
    raise();
    setWindowTitle(QStringLiteral("File to Send Status"));
    lblState->setText(QStringLiteral("Please wait ..."));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    cmdCtrlButton->setText(QStringLiteral("Cancel"));
    // Enter must not stop a transfer by accident; at the end it closes the window.
    cmdCtrlButton->setDefault(false);

    // A pipe or a device would block the whole program in the open or the read, and its
    // size says nothing about what is to come.
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile()) {
        refuse(fileName, QStringLiteral("It is not a regular file (a folder, pipe or device)."), 0,
               0);
        return;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        refuse(fileName, file.errorString(), 0, 0);
        return;
    }
    m_sending = &file;
    const auto done = qScopeGuard([this, &file] {
        if (m_sending == &file)
            m_sending = nullptr;
    });
    const qint64 total = file.size();
    qint64 sent = 0;
    qint64 piece = PieceSize;
    lblState->setText(progressText("Pogress", sent, total));
    const QString source = QStringLiteral("Send File ") + fileName;
    while (sent < total) {
        if (sent + piece > total)
            piece = total - sent;
        // A file closed by Cancel ends the transfer here, quietly.
        if (!file.isOpen())
            return;
        const QByteArray bytes = file.read(piece);
        if (bytes.size() != piece) {
            refuse(fileName,
                   file.error() != QFileDevice::NoError
                       ? file.errorString()
                       : QStringLiteral("The file became shorter while it was sent."),
                   sent, total);
            return;
        }
        sent += piece;
        Communication_HW::SendToChannel(1, QString::fromLatin1(bytes), source);
        ProgressBar1->setValue(qRound(double(sent) / double(total) * 100.0));
        lblState->setText(progressText("Pogress", sent, total));
        Globals::Pause(PauseAfterPiece);
    }
    file.close();
    lblState->setText(progressText("Done", sent, total));
    cmdCtrlButton->setDefault(true);
    cmdCtrlButton->setText(QStringLiteral("OK"));
}

void frmSendFile::refuse(const QString& fileName, const QString& reason, qint64 sent, qint64 total)
{
    unload();
    QString prompt = QStringLiteral("The file could not be sent:\r\n") + fileName +
                     QStringLiteral("\r\n") + reason;
    if (total > 0)
        prompt += QStringLiteral("\r\n\r\n") + progressText("Sent", sent, total);
    Platform::MsgBox(prompt, Platform::vbOKOnly + Platform::vbExclamation,
                     QStringLiteral("Send File"));
}

void frmSendFile::EndTransfer()
{
    unload();
}

void frmSendFile::cmdCtrlButton_Click()
{
    unload();
}

void frmSendFile::closeEvent(QCloseEvent* event)
{
    // The title bar's close button unloads like the button; a transfer still running
    // carries on unseen, as it would after any other unload.
    m_loaded = false;
    QDialog::closeEvent(event);
}

void frmSendFile::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        cmdCtrlButton_Click();
    else
        QDialog::keyPressEvent(event);
}

void frmSendFile::unload()
{
    if (m_sending) {
        m_sending->close();
        m_sending = nullptr;
    }
    m_loaded = false;
    hide();
}
