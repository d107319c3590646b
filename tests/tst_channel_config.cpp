// Channel configuration: the grid cell editor driven from the keyboard.

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "channel_config/edit_grid_tool.h"
#include "channel_config/flex_grid.h"

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

// Types "Enter", "Up", "Down", "Esc", "Left", "Right" or plain text into the focus widget;
// "Click" clicks the grid's first cell in the last row.
void act(FlexGrid* grid, const QString& keys)
{
    static const QHash<QString, Qt::Key> named{{"Enter", Qt::Key_Return}, {"Up", Qt::Key_Up},
                                               {"Down", Qt::Key_Down},    {"Esc", Qt::Key_Escape},
                                               {"Left", Qt::Key_Left},    {"Right", Qt::Key_Right}};
    for (const QString& key : keys.split(u' ', Qt::SkipEmptyParts)) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        if (key == "Click")
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(2, 0)).center());
        else if (named.contains(key))
            QTest::keyClick(focus, named[key]);
        else
            QTest::keyClicks(focus, key);
    }
}
} // namespace

class tst_ChannelConfig : public QObject
{
    Q_OBJECT

private slots:
    void cellEditor_keys_data()
    {
        QTest::addColumn<QString>("editor"); // "txt" opened by the first key, or "cbo"
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
        row("Space edits, Enter moves down", "txt", 2, "  ! Enter", "old 2!", 3, false);
        row("typed key replaces, caret after it", "txt", 2, "x ! Enter", "x!", 3, false);
        row("Enter on the last row stays", "txt", 3, "  ! Enter", "old 3!", 3, false);
        row("Down moves down", "txt", 1, "  ! Down", "old 1!", 2, false);
        row("Up on the first row stays", "txt", 1, "  ! Up", "old 1!", 1, false);
        row("Up moves up", "txt", 3, "  ! Up", "old 3!", 2, false);
        row("Escape keeps the cell", "txt", 2, "x Esc", "old 2", 2, false);
        row("Left and Right move the caret", "txt", 2, "  Left Left Right !", "old 2", 2, true);
        row("... and Enter commits there", "txt", 2, "  Left Left Right ! Enter", "old !2", 3,
            false);
        row("a click elsewhere commits", "txt", 1, "new Click", "new", 3, false);
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
        } else {
            QTest::keyClick(host.grid, keys[0].toLatin1()); // the key that opens the editor
            keys.remove(0, 1);
            QCOMPARE(host.txt->geometry().topLeft(),
                     host.grid->pos() + QPoint(host.grid->CellLeft(), host.grid->CellTop()));
        }
        QVERIFY(used->hasFocus());
        act(host.grid, keys);
        QCOMPARE(host.grid->TextMatrix(row, 1), cell);
        QCOMPARE(host.grid->Row(), rowAfter);
        QCOMPARE(used->isVisible(), open);
        QCOMPARE(host.grid->hasFocus(), !open);
    }
};

QTEST_MAIN(tst_ChannelConfig)
#include "tst_channel_config.moc"
