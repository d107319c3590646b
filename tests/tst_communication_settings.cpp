// "Communication Settings" driven from the keyboard and the mouse: what it shows for the
// cell it was opened from, and what the channel list reads back after OK, Cancel or close.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "channel_config/frmCommunicationSettings.h"
#include "shell/module_data.h"

using namespace Communication_HW;

namespace {
template <typename T = QWidget> T* control(QWidget& dialog, const QString& name)
{
    return dialog.findChild<T*>(name);
}

// "click:name", "type:name:text" (replaces the box's text), "pick:name:text" (typed into a
// closed list, which picks the first entry starting so), "Escape" or "close".
void act(QDialog& dialog, const QString& step)
{
    const QStringList part = step.split(u':');
    QWidget* target = control(dialog, part.value(1));
    if (part[0] == u"click") {
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(4, 4));
    } else if (part[0] == u"type" || part[0] == u"pick") {
        target->setFocus();
        if (auto* box = qobject_cast<QLineEdit*>(target))
            box->selectAll();
        QTest::keyClicks(target, part[2]);
    } else if (part[0] == u"Escape") {
        QTest::keyClick(&dialog, Qt::Key_Escape);
    } else {
        dialog.close();
    }
}
} // namespace

class tst_CommunicationSettings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Globals::ResetModuleData();
        Handshakes = {"None", "Xon/Xoff", "RTS/CTS", "Xon/RTS"};
        DefaultIPSettings = "IP 10.0.0.7:4001";
        DefaultCOMSettings = "COM  1, 9600,e,7,1,None";
    }

    void opened_andClosed_givesTheChannelListItsAnswer_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("com");     // DefaultCOMSettings when opened
        QTest::addColumn<QString>("enabled"); // the halves enabled at first
        QTest::addColumn<QString>("steps");   // separated by ";"
        QTest::addColumn<QString>("tagAfter");
        QTest::addColumn<QString>("ipAfter");
        QTest::addColumn<QString>("comAfter");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << QString(v)); };
        const char *ip = "IP 10.0.0.7:4001", *com = "COM  1, 9600,e,7,1,None";
        row("address and port typed", "1", com, "IP",
            "type:IPAddr:192.168.001.20;type:IPPort:4001;click:cmdOK", "1", "IP 192.168.1.20:4001",
            com);
        row("letter in the address", "1", com, "IP", "type:IPAddr:balance.lab;click:cmdOK", "1", ip,
            com);
        row("every list chosen", "2", com, "COM",
            "pick:cboCOM:3;pick:cboBaudrate:19200;pick:cboParity:O;pick:cboDataBits:8;"
            "pick:cboStopBits:2;pick:cboProtocol:R;click:cmdOK",
            "2", ip, "COM  3,19200,o,8,2,RTS/CTS");
        row("two-digit port", "2", com, "COM", "pick:cboCOM:12;pick:cboParity:N;click:cmdOK", "2",
            ip, "COM 12, 9600,n,7,1,None");
        row("network cell made serial", "1", "COM 16,57600,o,8,2,Xon/RTS", "IP",
            "click:optUseCOMPort;click:cmdOK", "2", ip, "COM 16,57600,o,8,2,Xon/RTS");
        row("switched there and back", "1", com, "IP",
            "click:optUseCOMPort;click:optUseIPPort;click:cmdOK", "1", ip, com);
        row("empty cell, OK", "0", com, "IP COM", "click:cmdOK", "0", ip, com);
        row("empty cell, network chosen", "0", com, "IP COM",
            "click:optUseIPPort;type:IPPort:2101;click:cmdOK", "1", "IP 10.0.0.7:2101", com);
        row("tag not a number", "x", com, "IP COM", "click:cmdOK", "0", ip, com);
        row("hand-edited serial string", "2", "COM 17, 4800,x,9,3,Foo", "COM", "click:cmdOK", "2",
            ip, com);
        row("Cancel", "1", com, "IP", "type:IPAddr:1.2.3.4;click:cmdCancel", "1", ip, com);
        row("Escape", "2", com, "COM", "pick:cboCOM:5;Escape", "2", ip, com);
        row("close button", "0", com, "IP COM", "click:optUseIPPort;close", "0", ip, com);
    }
    void opened_andClosed_givesTheChannelListItsAnswer()
    {
        QFETCH(QString, tag);
        QFETCH(QString, com);
        QFETCH(QString, enabled);
        QFETCH(QString, steps);
        DefaultCOMSettings = com;
        frmCommunicationSettings dialog(tag);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(dialog.windowTitle(), "Communication Settings");
        QCOMPARE(control<QLineEdit>(dialog, "IPAddr")->text(), "10.0.0.7");
        QCOMPARE(control<QLineEdit>(dialog, "IPPort")->text(), "4001");
        for (const char* name : {"frameIPSettings", "IPAddr", "IPPort"})
            QCOMPARE(control(dialog, name)->isEnabled(), enabled.contains("IP"));
        for (const char* name : {"frameCOMSettings", "cboCOM", "cboProtocol"})
            QCOMPARE(control(dialog, name)->isEnabled(), enabled.contains("COM"));
        for (const QString& step : steps.split(u';'))
            act(dialog, step);
        QVERIFY(!dialog.isVisible());
        QTEST(tag, "tagAfter");
        QTEST(DefaultIPSettings, "ipAfter");
        QTEST(DefaultCOMSettings, "comAfter");
    }

    void lists_holdOnlyTheirEntries_andTabFollowsTheForm()
    {
        QString tag = "0";
        frmCommunicationSettings dialog(tag);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QStringList entries;
        for (const char* name :
             {"cboCOM", "cboBaudrate", "cboParity", "cboDataBits", "cboStopBits", "cboProtocol"}) {
            auto* list = control<QComboBox>(dialog, name);
            QVERIFY(!list->isEditable());
            for (int i = 0; i < list->count(); ++i)
                entries << list->itemText(i);
            entries << "|";
        }
        QCOMPARE(entries.join(','), "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,|,"
                                    "  300,  600, 1200, 2400, 9600,19200,38400,57600,|,"
                                    "Even,Odd,None,|,7,8,|,1,2,|,None,Xon/Xoff,RTS/CTS,Xon/RTS,|");
        QCOMPARE(control<QLabel>(dialog, "Label10")->text(), "Veltrano = 2101 / MOXA =  4001");

        // The two options are one group: Tab stops once in it, the arrows move inside it.
        control(dialog, "optUseCOMPort")->setFocus();
        QStringList visited;
        for (int i = 0; i < 11; ++i) {
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited.join(' '), "optUseCOMPort cboCOM cboBaudrate cboParity cboDataBits "
                                    "cboStopBits cboProtocol IPAddr cmdOK cmdCancel IPPort");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget()->objectName(), "optUseIPPort");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(!control(dialog, "cboCOM")->isEnabled());
    }
};

QTEST_MAIN(tst_CommunicationSettings)
#include "tst_communication_settings.moc"
