// The channel text window: its questions, its log files and its view.

#include <QAction>
#include <QBuffer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <unistd.h>

#include "channel_window/frmTxtBox.h"
#include "channel_window/log_view.h"
#include "platform/settings_store.h"
#include "support/channel_window_rig.h"

using namespace Channel_Window;

namespace {
constexpr int Yes = Platform::vbYes;
constexpr int No = Platform::vbNo;
constexpr int Cancel = Platform::vbCancel;
const QString Title = QStringLiteral("Lab (CH-2, IP 127.0.0.1:2101)");
const QByteArray Head = Title.toLatin1() + ":\r\n\r\n";
const QByteArray NoFile("<none>");

// Numbered readings, more than a window keeps in memory, cut into pieces that split line
// ends at many places.
QStringList manyPieces(int lines, QString* whole = nullptr)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("reading %1\r\n").arg(i);
    if (whole)
        *whole = text;
    QStringList pieces;
    for (qsizetype at = 0; at < text.size(); at += 1001)
        pieces << text.mid(at, 1001);
    return pieces;
}

// Receives one more piece for the window each time it is written to, as text arriving
// while a save runs.
struct ArrivingWhileWritten : QBuffer
{
    frmTxtBox* window = nullptr;
    qint64 writeData(const char* data, qint64 size) override
    {
        window->NewTextReceived("late\r\n");
        return QBuffer::writeData(data, size);
    }
};

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}
} // namespace

class TxtBoxTest : public ChannelWindowTestCase
{
    Q_OBJECT

    frmTxtBox* m_window = nullptr;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    static bool mount(const QStringList& arguments, const QString& program = "mount")
    {
        return QProcess::execute(program, arguments) == 0;
    }
    void click(const char* button) { m_window->findChild<QAction*>(button)->trigger(); }
    void expectBox(int i, const QString& prompt, int style, const QString& title)
    {
        QCOMPARE(m_prompts->boxes.at(i).prompt, prompt);
        QCOMPARE(m_prompts->boxes.at(i).style, style);
        QCOMPARE(m_prompts->boxes.at(i).title, title);
    }

private slots:
    void init()
    {
        ChannelWindowTestCase::init();
        ChannelState[2] = 1;
        ChannelId[2] = QStringLiteral("Lab");
        ChannelSettings[2] = QStringLiteral("IP 127.0.0.1:2101");
        SettingsStore::SaveSetting("Channels", "Ch-2_State", "1");
        SettingsStore::SaveSetting("Channels", "Ch-2_FileName", "");
        ShowChannelWindow(2);
        m_window = ExistingChannelWindow(2);
    }

    void cleanup()
    {
        ChannelWindowTestCase::cleanup();
        useStateFolder(m_dir->path());
        if (QDir(path("fs")).exists())
            mount({"-q", path("fs")}, "umount");
    }

    void clearAsksAboutTextNotFlag_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("savedBefore");
        QTest::addColumn<bool>("hasFile");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("file");

        QTest::newRow("empty text: no question, flag kept") << "" << false << true << Yes << NoFile;
        QTest::newRow("unsaved, No: cleared unsaved") << "1 g\r\n" << false << true << No << NoFile;
        QTest::newRow("already saved, No: still asked") << "1 g\r\n"
                                                        << true << true << No << NoFile;
        QTest::newRow("Yes with a log file: saved, cleared")
            << "1 g\r\n"
            << false << true << Yes << Head + "1 g\r\n\r\n";
        QTest::newRow("Yes without a log file, dialog cancelled: nothing saved, text kept")
            << "1 g\r\n"
            << false << false << Yes << NoFile;
    }
    void clearAsksAboutTextNotFlag()
    {
        QFETCH(QString, text);
        QFETCH(bool, savedBefore);
        QFETCH(bool, hasFile);
        QFETCH(int, answer);
        QFETCH(QByteArray, file);
        ChannelFilename[2] = hasFile ? path("ch2.log") : QString();
        m_window->NewTextReceived(text);
        if (savedBefore) {
            m_window->SaveChannel();
            QFile::remove(path("ch2.log"));
        }
        m_prompts->answerNextBox(answer);

        click("Clear");

        QCOMPARE(m_prompts->boxes.size(), text.isEmpty() ? 0 : 1);
        if (!text.isEmpty())
            expectBox(0, "Save data before clearing ?", Platform::vbYesNo + Platform::vbQuestion,
                      "Clear Channel - " + Title);
        QCOMPARE(m_prompts->dialogs.size(), !hasFile && answer == Yes ? 1 : 0);
        QCOMPARE(fileBytes(path("ch2.log")), file);
        const bool kept = !text.isEmpty() && !hasFile && answer == Yes;
        QCOMPARE(m_window->Text(), kept ? text : QString());
        QCOMPARE(m_window->ChangedFlag(), text.isEmpty() || kept ? "1" : "0");
    }

    void closeWindow_data()
    {
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");

        QTest::newRow("nothing unsaved: no question, channel off") << false << 0 << true;
        QTest::newRow("unsaved, Yes: saved, channel off") << true << Yes << true;
        QTest::newRow("unsaved, Cancel: window, text and channel stay") << true << Cancel << false;
    }
    void closeWindow()
    {
        QFETCH(bool, unsaved);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        ChannelFilename[2] = path("ch2.log");
        if (unsaved)
            m_window->NewTextReceived("7 g\n");
        m_prompts->answerNextBox(answer);

        m_window->SubWindow()->close(); // what the sub-window's close button does

        QCOMPARE(m_prompts->boxes.size(), unsaved ? 1 : 0);
        if (unsaved)
            expectBox(0, "Save data before closing ?",
                      Platform::vbYesNoCancel + Platform::vbQuestion, "Close Channel - " + Title);
        QCOMPARE(QFile::exists(path("ch2.log")), answer == Yes);
        QCOMPARE(m_window->SubWindow()->isVisible(), !closes);
        QCOMPARE(m_socket.Exists(1), !closes);
        QCOMPARE(int(ChannelState[2]), closes ? 0 : 1);
        QCOMPARE(SettingsStore::GetSetting("Channels", "Ch-2_State"), closes ? "0" : "1");
        QCOMPARE(m_window->Text(), closes ? QString() : QStringLiteral("7 g\n"));
        QCOMPARE(m_window->Tag(), closes ? "0" : "2"); // a closed window loads afresh, unbound
    }

    void save_exactBytesOrOldLogKeptAndReason_data()
    {
        QTest::addColumn<QString>("tmpfs"); // mount options of a tiny file system, or none
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason"); // none: saved

        const auto row = [](const char* name, const char* tmpfs, const QString& file,
                            const char* reason) {
            QTest::newRow(name) << QString(tmpfs) << file << QString(reason);
        };
        row("every byte value, CR and LF as they came", "", "ch2.log", "");
        // No replacement can be made beside a name this long: the log is rewritten in place.
        row("folder takes no new file, log writable", "", QString(250, 'n'), "");
        row("missing folder", "", "gone/ch2.log", "No such file or directory");
        row("path is a folder", "", ".", "Is a directory");
        row("disk full", "size=64k", "ch2.log", "No space left on device");
        row("read-only", "size=64k,ro", "ch2.log", "Read-only file system");
        row("no free inode, no room in place", "size=64k,nr_inodes=2", "ch2.log",
            "No space left on device");
        row("no free inode, room in place", "size=1m,nr_inodes=2", "ch2.log", "");
    }
    void save_exactBytesOrOldLogKeptAndReason()
    {
        QFETCH(QString, tmpfs);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QString folder = m_dir->path();
        if (!tmpfs.isEmpty()) {
            if (::geteuid() != 0)
                QSKIP("mounting a tiny tmpfs needs root");
            folder = path("fs");
            QDir().mkpath(folder);
            QVERIFY(mount({"-t", "tmpfs", "-o", QString(tmpfs).remove(",ro"), "tmpfs", folder}));
        }
        const QString log = folder + '/' + name;
        writeBytes(log, QByteArray(9600, 'o'));
        if (tmpfs.endsWith(",ro"))
            QVERIFY(mount({"-o", "remount,ro", folder}));
        const QByteArray old = fileBytes(log);
        QString text;
        for (int b = 0; text.size() < 200000; ++b)
            text += QChar(b % 256);
        ChannelFilename[2] = log;
        m_window->NewTextReceived(text.left(100));
        m_window->NewTextReceived(text.mid(100));

        QCOMPARE(m_window->SaveChannel(), reason.isEmpty());

        QCOMPARE(fileBytes(log), reason.isEmpty() ? Head + text.toLatin1() + "\r\n" : old);
        QCOMPARE(m_window->DataChanged(), !reason.isEmpty());
        QCOMPARE(m_window->Text(), text);
        QCOMPARE(m_prompts->boxes.size(), reason.isEmpty() ? 0 : 1);
        if (!reason.isEmpty())
            expectBox(0,
                      "The log file could not be saved:\r\n" + log + "\r\n" + reason +
                          "\r\n\r\nThe previous file is unchanged; the data stay unsaved in "
                          "the window.",
                      Platform::vbOKOnly + Platform::vbExclamation, "Error Channel - " + Title);
    }

    // The window reads its older text from the channel's journal; when the journal stops
    // taking text half way, the window keeps the rest itself.
    void journalStopsMidRun_windowKeepsEveryByte_data()
    {
        QTest::addColumn<QString>("stop"); // how, or mount options of a tiny state folder
        QTest::newRow("journal takes it all") << "";
        QTest::newRow("frozen after a signal") << "freeze";
        QTest::newRow("disk full") << "size=64k";
    }
    void journalStopsMidRun_windowKeepsEveryByte()
    {
        QFETCH(QString, stop);
        if (stop.startsWith("size") && ::geteuid() != 0)
            QSKIP("mounting a tiny tmpfs needs root");
        if (stop.startsWith("size")) {
            QDir().mkpath(path("fs"));
            QVERIFY(mount({"-t", "tmpfs", "-o", stop, "tmpfs", path("fs")}));
            useStateFolder(path("fs"));
            m_window->ClearText(); // bound again, to the journal there
        }
        QString whole;
        const QStringList pieces = manyPieces(30000, &whole);
        for (int i = 0; i < pieces.size(); ++i) {
            if (i == pieces.size() / 2 && stop == "freeze")
                Channel_Journal::Freeze();
            m_window->NewTextReceived(pieces[i]);
        }
        ChannelFilename[2] = path("ch2.log");
        QVERIFY(m_window->SaveChannel());
        QCOMPARE(fileBytes(path("ch2.log")), Head + whole.toLatin1() + "\r\n");
        QCOMPARE(m_window->TextView()->toPlainText(), QString(whole).replace("\r\n", "\n"));
        const QByteArray journal = fileBytes(Channel_Journal::Folder() + "/Channel-2.journal");
        QVERIFY(whole.toLatin1().startsWith(journal));
        QCOMPARE(journal.size() == whole.size(), stop.isEmpty());
    }

    // A channel that was off at the start keeps the journal an earlier run left unsaved;
    // switched on later, its window starts with that text, and a save writes all of it.
    void channelOnLater_windowStartsWithItsOldJournal()
    {
        writeBytes(Channel_Journal::Folder() + "/Channel-3.journal", "OLD 1 g\r\n");
        useStateFolder(m_dir->path());
        ChannelState[3] = 1;
        ShowChannelWindow(3);
        frmTxtBox* window = ExistingChannelWindow(3);
        QCOMPARE(window->Text(), "OLD 1 g\r\n");
        QCOMPARE(window->ChangedFlag(), "1");
        window->NewTextReceived("NEW 2 g\r\n");
        ChannelFilename[3] = path("ch3.log");
        QVERIFY(window->SaveChannel());
        QVERIFY(fileBytes(path("ch3.log")).endsWith("OLD 1 g\r\nNEW 2 g\r\n\r\n"));
    }

    void escapeOrCloseButton_neverAnswerYesNo()
    {
        m_prompts.reset(); // the real message box
        m_window->NewTextReceived("5 g\r\n");
        QTimer::singleShot(0, this, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QTRY_VERIFY(box && box->isVisible());
            QTest::keyClick(box, Qt::Key_Escape);
            box->close(); // the title bar's close button
            QVERIFY(box->isVisible());
            box->button(QMessageBox::No)->click();
        });
        click("Clear");                 // "Save data before clearing ?"
        QCOMPARE(m_window->Text(), ""); // cleared by No alone
    }

    void saveAs_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<int>("replaceAnswer");
        QTest::addColumn<bool>("cancelDialog");
        QTest::addColumn<bool>("saved");

        QTest::newRow("new file: saved and remembered") << false << 0 << false << true;
        QTest::newRow("existing file, Yes: replaced") << true << Yes << false << true;
        QTest::newRow("existing file, No: nothing changes") << true << No << false << false;
        QTest::newRow("existing file, Cancel: nothing changes") << true << Cancel << false << false;
        QTest::newRow("dialog cancelled: nothing changes") << false << 0 << true << false;
    }
    void saveAs()
    {
        QFETCH(bool, fileExists);
        QFETCH(int, replaceAnswer);
        QFETCH(bool, cancelDialog);
        QFETCH(bool, saved);
        const QString name = path("chosen.log");
        if (fileExists)
            writeBytes(name, "keep me");
        m_window->NewTextReceived("3.1 g\r\n");
        const QString caption = m_window->Caption();
        m_prompts->answerNextDialog(cancelDialog ? std::nullopt : std::optional<QString>(name));
        m_prompts->answerNextBox(replaceAnswer);

        click("SaveAs");

        QCOMPARE(m_prompts->dialogs.size(), 1);
        QCOMPARE(m_prompts->dialogs[0].request.title, "Save Channel - " + Title);
        QCOMPARE(m_prompts->dialogs[0].request.filter, "Datafile (.log)|*.LOG|All Files (*.*)|*.*");
        QCOMPARE(m_prompts->dialogs[0].request.fileName, DefaultChannelFileName(2));
        QCOMPARE(m_prompts->boxes.size(), fileExists ? 1 : 0);
        if (fileExists)
            expectBox(0, name + " already exist!\r\nReplace ?",
                      Platform::vbYesNoCancel + Platform::vbQuestion, "Save Channel - " + Title);
        const QByteArray old = fileExists ? "keep me" : NoFile;
        QCOMPARE(fileBytes(name), saved ? Head + "3.1 g\r\n\r\n" : old);
        QCOMPARE(ChannelFilename[2], saved ? name : QString());
        QCOMPARE(SettingsStore::GetSetting("Channels", "Ch-2_FileName"), saved ? name : QString());
        QCOMPARE(m_window->Caption(), saved ? caption + " - " + name : caption);
    }

    void viewShowsEveryLineEndAsOneBreak_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("shown");

        const QString x(4096, 'x');
        QTest::newRow("CR LF split between pieces") << QStringList{"a\r", "\nb"} << "a\nb";
        QTest::newRow("lone CR, lone LF") << QStringList{"a\rb\nc"} << "a\nb\nc";
        QTest::newRow("LF CR: two breaks") << QStringList{"a\n\rb"} << "a\n\nb";
        QTest::newRow("CR then CR LF: two breaks") << QStringList{"a\r", "\r\nb"} << "a\n\nb";
        QTest::newRow("run broken after 4096 characters, counted across pieces")
            << QStringList{x.left(4000), x.mid(4000) + "y"} << x + "\ny";
        QTest::newRow("line end restarts the count") << QStringList{x + "\r\n", x} << x + "\n" + x;
    }
    void viewShowsEveryLineEndAsOneBreak()
    {
        QFETCH(QStringList, pieces);
        QFETCH(QString, shown);
        for (const QString& piece : pieces)
            m_window->NewTextReceived(piece);
        QCOMPARE(m_window->TextView()->toPlainText(), shown);
        QCOMPARE(m_window->Text(), pieces.join(QString()));
    }

    void clearInBurstKeepsOnlyLaterText()
    {
        for (const QString& piece : manyPieces(30000))
            m_window->NewTextReceived(piece);
        m_window->ClearText();
        m_window->NewTextReceived("after\r");
        m_window->NewTextReceived("\n");
        QCOMPARE(m_window->Text(), "after\r\n");
        QCOMPARE(m_window->TextView()->toPlainText(), "after\n");
        QTRY_COMPARE(m_window->TextView()->verticalScrollBar()->maximum(), 0);
    }

    void saveWritesTextAsItWasWhenStarted()
    {
        QString before;
        for (const QString& piece : manyPieces(200000, &before))
            m_window->NewTextReceived(piece);
        ArrivingWhileWritten device;
        device.window = m_window;
        device.open(QIODevice::WriteOnly);
        QVERIFY(m_window->WriteText(device));
        QCOMPARE(device.data(), before.toLatin1());
        QVERIFY(m_window->Text().size() > before.size());
        QVERIFY(m_window->Text().startsWith(before));
        QVERIFY(m_window->Text().endsWith("late\r\nlate\r\n"));
    }

    void viewFollowsNewTextOnlyAtBottom()
    {
        m_window->SubWindow()->showMaximized();
        LogView* view = m_window->TextView();
        QScrollBar* bar = view->verticalScrollBar();
        for (int i = 0; i < 300; ++i)
            m_window->NewTextReceived(QStringLiteral("line %1\r\n").arg(i));
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          QPoint(5, 5)); // a click in the text
        bar->setValue(10);
        m_window->NewTextReceived("next\r\n");
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 10);
        QVERIFY(view->toPlainText().endsWith("line 299\nnext\n"));

        bar->setValue(bar->maximum());
        m_window->NewTextReceived("last\r\n");
        QTRY_COMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TxtBoxTest)
#include "tst_txtbox.moc"
