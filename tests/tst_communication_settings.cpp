// "Communication Settings" driven from the keyboard and the mouse: what it shows for the
// cell it was opened from, and what the channel list reads back after OK, Cancel or close.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "channel_config/frmCommunicationSettings.h"
#include "comm/serial_devices.h"
#include "platform/settings_store.h"
#include "shell/module_data.h"
#include "support/scripted_prompts.h"
#include "support/socat_pair.h"

using namespace Communication_HW;

namespace {
template <typename T = QWidget> T* control(QWidget& dialog, const QString& name)
{
    return dialog.findChild<T*>(name);
}

// "click:name", "type:name:text" (replaces the box's text), "pick:name:text" (typed into a
// closed list: picks the first entry starting so), "key:name:Down" ("key::Space" goes to
// the focus) or "close".
void act(QDialog& dialog, const QString& step)
{
    const QStringList part = step.split(u':');
    QWidget* target =
        part.value(1).isEmpty() ? QApplication::focusWidget() : control(dialog, part.value(1));
    if (part[0] == u"click") {
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(4, 4));
    } else if (part[0] == u"close") {
        dialog.close();
    } else {
        target->setFocus();
        if (part[0] == u"key")
            QTest::keyClick(target, QKeySequence::fromString(part[2])[0].key());
        else if (part[0] == u"type")
            QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        if (part[0] != u"key")
            QTest::keyClicks(target, part[2]);
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
        QTest::addColumn<QString>("com");   // DefaultCOMSettings when opened
        QTest::addColumn<QString>("steps"); // separated by ";"
        QTest::addColumn<QString>("tagAfter");
        QTest::addColumn<QString>("ipAfter");
        QTest::addColumn<QString>("comAfter");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << QString(v)); };
        const char *ip = "IP 10.0.0.7:4001", *com = "COM  1, 9600,e,7,1,None";
        row("address and port typed", "1", com,
            "type:IPAddr:192.168.001.20;type:IPPort:4001;click:cmdOK", "1", "IP 192.168.1.20:4001",
            com);
        row("letter in the address", "1", com, "type:IPAddr:balance.lab;click:cmdOK", "1", ip, com);
        row("every list chosen", "2", com,
            "pick:cboCOM:3;pick:cboBaudrate:19200;pick:cboParity:O;pick:cboDataBits:8;"
            "pick:cboStopBits:2;pick:cboProtocol:R;click:cmdOK",
            "2", ip, "COM  3,19200,o,8,2,RTS/CTS");
        row("two-digit port", "2", com, "pick:cboCOM:12;pick:cboParity:N;click:cmdOK", "2", ip,
            "COM 12, 9600,n,7,1,None");
        row("network cell made serial", "1", "COM 16,57600,o,8,2,Xon/RTS",
            "click:optUseCOMPort;click:cmdOK", "2", ip, "COM 16,57600,o,8,2,Xon/RTS");
        row("arrow from the serial option to the network one, Space", "2", com,
            "key:optUseCOMPort:Right;key::Space;click:cmdOK", "1", ip, com);
        row("empty cell, OK", "0", com, "click:cmdOK", "0", ip, com);
        row("empty cell, network chosen", "0", com,
            "click:optUseIPPort;type:IPPort:2101;click:cmdOK", "1", "IP 10.0.0.7:2101", com);
        row("tag not a number", "x", com, "click:cmdOK", "0", ip, com);
        row("hand-edited serial string", "2", "COM 17, 4800,x,9,3,Foo", "click:cmdOK", "2", ip,
            com);
        row("Cancel", "1", com, "type:IPAddr:1.2.3.4;click:cmdCancel", "1", ip, com);
        row("Escape", "2", com, "pick:cboCOM:5;key:cboCOM:Escape", "2", ip, com);
        row("close button", "0", com, "click:optUseIPPort;close", "0", ip, com);
    }
    void opened_andClosed_givesTheChannelListItsAnswer()
    {
        QFETCH(QString, tag);
        QFETCH(QString, com);
        QFETCH(QString, steps);
        DefaultCOMSettings = com;
        frmCommunicationSettings dialog(tag);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(dialog.windowTitle(), "Communication Settings");
        QCOMPARE(control<QLineEdit>(dialog, "IPAddr")->text(), "10.0.0.7");
        QCOMPARE(control<QLineEdit>(dialog, "IPPort")->text(), "4001");
        // Baud rates are padded to the column they fill in the settings text.
        QCOMPARE(control<QComboBox>(dialog, "cboBaudrate")->itemText(0), "  300");
        // The half of the other kind is disabled; with no kind both are enabled.
        for (const QString name : {"frameIPSettings", "IPPort", "frameCOMSettings", "cboCOM"})
            QCOMPARE(control(dialog, name)->isEnabled(), tag != (name.contains("IP") ? "2" : "1"));
        for (const QString& step : steps.split(u';'))
            act(dialog, step);
        QVERIFY(!dialog.isVisible());
        QTEST(tag, "tagAfter");
        QTEST(DefaultIPSettings, "ipAfter");
        QTEST(DefaultCOMSettings, "comAfter");
    }

    void device_ofTheChosenNumber_shownPickedAndStored()
    {
        SocatPair pair;
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        SetComPortDevice(2, pair.pathA() + ".gone");
        ScriptedPrompts prompts;
        for (const char* button : {"cmdCancel", "cmdOK"}) {
            QString tag = "2";
            frmCommunicationSettings dialog(tag);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            act(dialog, "pick:cboCOM:2");
            QCOMPARE(control<QComboBox>(dialog, "cboDevice")->currentText(),
                     pair.pathA() + ".gone");
            QCOMPARE(control<QLabel>(dialog, "lblDeviceState")->text(), "not present");
            act(dialog, "type:cboDevice:" + pair.pathA());
            QCOMPARE(control<QLabel>(dialog, "lblDeviceState")->text(), "present");
            // Another number shows its own device; coming back shows the one typed.
            act(dialog, "key:cboCOM:Down");
            QCOMPARE(control<QComboBox>(dialog, "cboDevice")->currentText(), "/dev/ttyS2");
            act(dialog, "key:cboCOM:Up");
            act(dialog, QString("click:") + button);
        }
        QVERIFY(prompts.boxes.isEmpty());
        QFile store(SettingsStore::StoreLocation());
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(store.readAll());
        QVERIFY2(text.endsWith("[Ports]\nCOM2=" + pair.pathA() + "\n"), qPrintable(text));
    }
};

QTEST_MAIN(tst_CommunicationSettings)
#include "tst_communication_settings.moc"
