// Channel configuration from the keyboard and mouse: the grid cell editor, the "Channels"
// dialog with its store writes, and the main window's reconciliation against loopback servers.

#include <QComboBox>
#include <QLineEdit>
#include <QTcpServer>
#include <QtTest>

#include "channel_config/edit_grid_tool.h"
#include "channel_config/flex_grid.h"
#include "channel_config/frmChannels.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "platform/settings_store.h"
#include "shell/load_settings.h"
#include "support/program_doubles.h"

using namespace Channel_Window;
using Communication_HW::IsChannelConnected;

namespace {
// A form with a three-row grid whose column 1 is edited in place, wired as a host does.
struct GridHost : QWidget
{
    FlexGrid* grid = new FlexGrid(this);
    QLineEdit* txt = new QLineEdit(this);
    QComboBox* cbo = new QComboBox(this);

    GridHost()
    {
        grid->setColumnCount(2);
        grid->setRows(4);
        grid->setGeometry(0, 0, 300, 200);
        for (int row = 1; row < 4; ++row)
            grid->setTextMatrix(row, 1, QStringLiteral("old %1").arg(row));
        cbo->addItems({"OFF", "ON"});
        txt->hide();
        cbo->hide();
        const auto commit = [this] {
            if (txt->isVisible())
                grid->setText(txt->text());
            else if (cbo->isVisible())
                grid->setText(cbo->currentText());
            txt->hide();
            cbo->hide();
        };
        EditGridTool::WireGrid(grid, commit, [this](int keyAscii) {
            if (grid->Col() == 1)
                EditGridTool::Show_CellEditor(grid, txt, keyAscii);
        });
        EditGridTool::WireTextEditor(grid, txt, commit);
        EditGridTool::WireComboEditor(grid, cbo, commit);
    }
};

void act(const QString& script, QStringList stages = {});

// Runs the first stage in the modal dialog about to open, later ones in dialogs it opens.
void inNextDialog(const QStringList& stages)
{
    QTimer::singleShot(0, [stages] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isAncestorOf(QApplication::focusWidget()));
        act(stages.first(), stages.mid(1));
    });
}

// Acts in the active window as a user does, token by token: Enter, Esc, Tab, Space, the
// arrows, ^A (select all), Click:<control>, Cell:<row>,<col> (of the grid), or typed text.
// ">token" first sends the next stage to the dialog that token opens.
void act(const QString& script, QStringList stages)
{
    static const QHash<QString, Qt::Key> named{{"Enter", Qt::Key_Return}, {"Esc", Qt::Key_Escape},
                                               {"Tab", Qt::Key_Tab},      {"Space", Qt::Key_Space},
                                               {"Up", Qt::Key_Up},        {"Down", Qt::Key_Down},
                                               {"Left", Qt::Key_Left},    {"Right", Qt::Key_Right}};
    for (QString token : script.split(u' ', Qt::SkipEmptyParts)) {
        if (token.startsWith(u'>')) {
            inNextDialog(stages);
            token.remove(0, 1);
        }
        // The window a closed dialog returns to gets the focus back, as a window manager does.
        if (!QApplication::activeWindow() && QApplication::activeModalWidget())
            QApplication::activeModalWidget()->activateWindow();
        QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->isActiveWindow());
        QWidget* focus = QApplication::focusWidget();
        QWidget* window = focus->window();
        if (token.startsWith("Click:")) {
            QTest::mouseClick(window->findChild<QWidget*>(token.mid(6)), Qt::LeftButton);
        } else if (token.startsWith("Cell:")) {
            auto* grid = window->findChild<FlexGrid*>();
            const QModelIndex cell =
                grid->model()->index(token.section(u':', 1).section(u',', 0, 0).toInt() - 1,
                                     token.section(u',', 1).toInt());
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(cell).center());
        } else if (token == "^A") {
            QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
        } else if (named.contains(token)) {
            QTest::keyClick(focus, named[token]);
        } else {
            for (const QChar c : token) // each key goes where the focus is by then
                QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        }
    }
}

// "row:State,Settings,Identification" of one grid row.
QString rowText(const FlexGrid* grid, int row)
{
    return QString::number(row) + u':' +
           QStringList{grid->TextMatrix(row, 1), grid->TextMatrix(row, 2), grid->TextMatrix(row, 3)}
               .join(u',');
}

const QString IP = QStringLiteral("IP 10.0.0.7:4001");
const QString COM = QStringLiteral("COM  3,19200,o,8,2,RTS/CTS");
} // namespace

class tst_ChannelConfig : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<ProgramDoubles> m_fake;

    // Three channels: 1 OFF on the network, 2 OFF serial, 3 ON without settings.
    void table()
    {
        Settings::OptionChecks checks;
        Settings::LoadSettings(checks); // the program's defaults from an empty store
        ChannelsCount = 3;
        const QString settings[] = {IP, COM, ""};
        for (int n = 1; n <= 3; ++n) {
            ChannelState[n] = n == 3;
            ChannelSettings[n] = settings[n - 1];
            ChannelId[n] = QString(QChar(u'A' + n - 1));
        }
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        Globals::ResetModuleData();
        m_fake.emplace();
    }
    void cleanup() { m_fake.reset(); }

    void cellEditor_keys_data()
    {
        QTest::addColumn<QString>("editor"); // "txt", opened by the first key, or "cbo"
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("cell"); // the edited cell afterwards
        QTest::addColumn<int>("rowAfter");
        QTest::addColumn<bool>("open"); // the editor still open
        const auto row = [](const char* name, const char* editor, int r, const char* keys,
                            const char* cell, int after, bool open) {
            QTest::newRow(name) << QString(editor) << r << QString(keys) << QString(cell) << after
                                << open;
        };
        row("Space edits, Enter moves down", "txt", 2, "Space ! Enter", "old 2!", 3, false);
        row("typed key replaces, caret after it", "txt", 2, "x ! Enter", "x!", 3, false);
        row("Enter on the last row stays", "txt", 3, "Space ! Enter", "old 3!", 3, false);
        row("Down moves down", "txt", 1, "Space ! Down", "old 1!", 2, false);
        row("Up on the first row stays", "txt", 1, "Space ! Up", "old 1!", 1, false);
        row("Up moves up", "txt", 3, "Space ! Up", "old 3!", 2, false);
        row("Escape keeps the cell", "txt", 2, "x Esc", "old 2", 2, false);
        row("Left and Right move the caret", "txt", 2, "Space Left Left Right !", "old 2", 2, true);
        row("... and Enter commits there", "txt", 2, "Space Left Left Right ! Enter", "old !2", 3,
            false);
        row("a click elsewhere commits", "txt", 1, "new Cell:3,0", "new", 3, false);
        row("combo keeps Up and Down", "cbo", 2, "Down Up Down", "old 2", 2, true);
        row("combo Enter commits its choice", "cbo", 3, "Down Enter", "ON", 3, false);
        row("combo Escape keeps the cell", "cbo", 2, "Down Esc", "old 2", 2, false);
    }
    void cellEditor_keys()
    {
        QFETCH(QString, editor);
        QFETCH(int, row);
        QFETCH(QString, keys);
        QFETCH(QString, cell);
        QFETCH(int, rowAfter);
        QFETCH(bool, open);
        GridHost host;
        host.show();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        host.grid->setCol(1);
        host.grid->setRow(row);
        host.grid->SetFocus();
        QWidget* used = editor == "cbo" ? static_cast<QWidget*>(host.cbo) : host.txt;
        if (used == host.cbo) {
            host.cbo->setGeometry(host.grid->CellLeft(), host.grid->CellTop(), 100, 20);
            host.cbo->show();
            host.cbo->setFocus();
        }
        act(keys);
        QCOMPARE(host.grid->TextMatrix(row, 1), cell);
        QCOMPARE(host.grid->Row(), rowAfter);
        QCOMPARE(used->isVisible(), open);
        QCOMPARE(host.grid->hasFocus(), !open);
        if (open) // laid over the edited cell
            QCOMPARE(used->pos(),
                     host.grid->pos() + QPoint(host.grid->CellLeft(), host.grid->CellTop()));
    }

    void channelList_keysAndClicks_data()
    {
        QTest::addColumn<QString>("script"); // stages for nested dialogs after " / "
        QTest::addColumn<QString>("cell");   // "row:State,Settings,Identification" afterwards
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("message");
        QTest::addColumn<bool>("keepsFocus"); // the count box keeps the focus
        const auto row = [](const char* name, const char* script, const QString& cell, int count,
                            bool message = false, bool keeps = false) {
            QTest::newRow(name) << QString(script) << cell << count << message << keeps;
        };
        const QString c1 = "1:OFF," + IP + ",A", c2 = "2:OFF," + COM + ",B";
        row("count letters: restored, focus goes", "^A abc Tab", c1, 3, true);
        row("count beyond 16 bits", "^A 40000 Tab", c1, 3, true);
        row("count 0: restored, focus stays", "^A 0 Tab", c1, 3, true, true);
        row("count 51 and a click on OK: stays open", "^A 51 Click:cmdOK", c1, 3, true, true);
        row("count 2 at once", "^A 2 Tab", c2, 2);
        row("count 1 then 3: rows come back as loaded",
            "Tab Down Down Space Click:txtChannels ^A 1 Tab Click:txtChannels ^A 3 Tab", "3:ON,,C",
            3);
        row("count 4: shown rows kept", "Tab Down Down Space Click:txtChannels ^A 4 Tab",
            "3:OFF,,C", 4);
        row("a letter toggles State", "Tab q", "1:ON," + IP + ",A", 3);
        row("a click toggles State", "Cell:2,1", "2:ON," + COM + ",B", 3);
        row("a key replaces the identification", "Tab Right Right Z Enter", "1:OFF," + IP + ",Z",
            3);
        row("Space edits the identification", "Tab Down Right Right Space 1 Enter",
            "2:OFF," + COM + ",B1", 3);
        row("IP cell, Cancel: kept, ON", "Tab Right >Space / Click:cmdCancel", "1:ON," + IP + ",A",
            3);
        row("IP cell, Escape: kept, ON", "Tab Right >x / Esc", "1:ON," + IP + ",A", 3);
        row("COM cell, OK: kept, ON", "Tab Down Right >Space / Click:cmdOK", "2:ON," + COM + ",B",
            3);
        row("empty cell, Cancel: OFF", ">Cell:3,2 / Click:cmdCancel", "3:OFF,,C", 3);
        row("empty cell, OK without a choice: OFF", ">Cell:3,2 / Click:cmdOK", "3:OFF,,C", 3);
        row("empty cell, address typed: ON",
            ">Cell:3,2 / Click:optUseIPPort Click:IPAddr ^A 10.0.0.9 Click:IPPort ^A 2101 "
            "Click:cmdOK",
            "3:ON,IP 10.0.0.9:2101,C", 3);
    }
    void channelList_keysAndClicks()
    {
        QFETCH(QString, script);
        QFETCH(QString, cell);
        QFETCH(int, count);
        QFETCH(bool, message);
        QFETCH(bool, keepsFocus);
        table();
        frmChannels dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QStringList stages = script.split(" / ");
        act(stages.first(), stages.mid(1));
        auto* grid = dialog.findChild<FlexGrid*>("gridList");
        QCOMPARE(rowText(grid, cell.section(u':', 0, 0).toInt()), cell);
        QCOMPARE(ChannelsCount, quint8(count));
        QCOMPARE(grid->Rows(), count + 1);
        QCOMPARE(dialog.findChild<QLineEdit*>("txtChannels")->text(), QString::number(count));
        if (message)
            m_fake->expectOnlyBox("Please enter a number from 1 to 50",
                                  Platform::vbOKOnly + Platform::vbExclamation, "Channels Count");
        else
            QVERIFY(m_fake->prompts.boxes.isEmpty());
        QCOMPARE(dialog.findChild<QLineEdit*>("txtChannels")->hasFocus(), keepsFocus);
        QVERIFY(dialog.isVisible());
        QCOMPARE(ChannelId[1], QStringLiteral("A")); // only OK takes the working copy
    }

    void channelList_closing_data()
    {
        QTest::addColumn<QString>("close");
        QTest::addColumn<bool>("stored");
        QTest::newRow("OK button") << "Click:cmdOK" << true;
        QTest::newRow("Enter on the grid") << "Enter" << true;
        QTest::newRow("Escape on the grid") << "Esc" << false;
        QTest::newRow("Cancel button") << "Click:cmdCancel" << false;
    }
    void channelList_closing()
    {
        QFETCH(QString, close);
        QFETCH(bool, stored);
        table();
        SettingsStore::SaveSetting("Channels", "Ch-4_Id", "Old"); // above the count
        QFile file(SettingsStore::StoreLocation());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        frmChannels dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // Enter in the open editor commits; only the next Enter reaches OK.
        act("Tab Space Right Right Scale-A Enter " + close);
        QVERIFY(!dialog.isVisible());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray after = file.readAll();
        QStringList lines = QString::fromUtf8(after).split(u'\n', Qt::SkipEmptyParts);
        lines.sort();
        const QString written = "CannelsCount=3|Ch-1_Id=Scale-A|Ch-1_Settings=" + IP +
                                "|Ch-1_State=1|Ch-2_Id=B|Ch-2_Settings=" + COM +
                                "|Ch-2_State=0|Ch-3_Id=C|Ch-3_Settings=|Ch-3_State=1|Ch-4_Id=Old|"
                                "[Channels]";
        if (stored)
            QCOMPARE(lines.join(u'|'), written);
        else
            QCOMPARE(after, before);
        QCOMPARE(ChannelState[1], quint8(stored));
        QCOMPARE(ChannelId[1], stored ? QStringLiteral("Scale-A") : QStringLiteral("A"));
    }

    void reconcile_afterChannelList_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("closed"); // the channel whose window closes, 0 for none
        QTest::addColumn<bool>("moved"); // channel 1 reconnects to the other server
        QTest::newRow("identification only: nothing closes")
            << "Tab Right Right X Enter Click:cmdOK" << 0 << false;
        QTest::newRow("other port: reconnects there")
            << "Tab Right >Space Click:cmdOK / Click:IPPort ^A $port Click:cmdOK" << 0 << true;
        QTest::newRow("network became serial: closed, OFF")
            << "Tab Right >Space Click:cmdOK / Click:optUseCOMPort Click:cmdOK" << 1 << false;
        QTest::newRow("switched off: closed") << "Tab Space Click:cmdOK" << 1 << false;
        QTest::newRow("count lowered: closed, OFF") << "^A 1 Tab Click:cmdOK" << 2 << false;
    }
    void reconcile_afterChannelList()
    {
        QFETCH(QString, script);
        QFETCH(int, closed);
        QFETCH(bool, moved);
        QTcpServer first, other;
        QVERIFY(first.listen(QHostAddress::LocalHost) && other.listen(QHostAddress::LocalHost));
        QSignalSpy otherPeers(&other, &QTcpServer::newConnection);
        frmMDIMain& main = m_fake->start();
        ChannelsCount = 2;
        for (int n = 1; n <= 2; ++n) {
            ChannelState[n] = 1;
            ChannelSettings[n] = QStringLiteral("IP 127.0.0.1:%1").arg(first.serverPort());
        }
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && IsChannelConnected(2), 10000);
        inNextDialog(script.replace("$port", QString::number(other.serverPort())).split(" / "));
        main.mnuChannels->trigger();
        for (int n = 1; n <= 2; ++n) {
            const bool off = n == closed;
            QCOMPARE(ExistingChannelWindow(n)->IsLoaded(), !off);
            QCOMPARE(ChannelState[n], quint8(!off));
            QCOMPARE(SettingsStore::GetSetting("Channels", QStringLiteral("Ch-%1_State").arg(n)),
                     off ? "0" : "1");
        }
        if (moved) // closed, then opened again at once by the restarted check
            QTRY_VERIFY_WITH_TIMEOUT(otherPeers.size() == 1 && IsChannelConnected(1), 10000);
        else // never dropped
            QCOMPARE(IsChannelConnected(1), closed != 1);
        QVERIFY(main.CheckChannelTimer()->isActive());
    }
};

QTEST_MAIN(tst_ChannelConfig)
#include "tst_channel_config.moc"
