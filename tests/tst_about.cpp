// The about box: its texts, the OK button, and the centring at every opening.

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "about/frmAbout.h"

class tst_About : public QObject
{
    Q_OBJECT

private slots:
    void labels_showTitleAndVersion()
    {
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Veltrano Quorvane for IP and COM"));
        QStringList texts;
        for (const char* name : {"lblTitle", "lblVersion", "lblDescription"})
            texts << about.findChild<QLabel*>(name)->text();
        QCOMPARE(texts.join('|'), "Veltrano Quorvane for IP and COM|Version 2.0.0|"
                                  "Veltrano Quorvane for IP and COM");
        QCOMPARE(about.findChild<QLabel*>("lblTitle")->font().family(), QStringLiteral("Arial"));
        QVERIFY(!about.findChild<QLabel*>("lblCopyright")->text().isEmpty());
        QVERIFY(!about.findChild<QLabel*>("Image2")->pixmap().isNull());
    }

    void opening_afterMove_centredAgainAndOkCloses()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        frmAbout about;
        for (int opening = 0; opening < 2; ++opening) {
            QPoint shownAt;
            QTimer::singleShot(0, &about, [&about, &shownAt] {
                shownAt = about.pos();
                about.move(3, 4); // the user drags it away before closing it
                QTest::mouseClick(about.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
            });
            QCOMPARE(about.exec(), int(QDialog::Accepted));
            QCOMPARE(shownAt, QPoint((screen.width() - about.width()) / 2,
                                     (screen.height() - about.height()) / 2));
            QVERIFY(!about.isVisible());
        }
    }
};

QTEST_MAIN(tst_About)
#include "tst_about.moc"
