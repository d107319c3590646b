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
    void labels_showTitleAndVersion_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::newRow("title") << "lblTitle"
                               << "Veltrano Quorvane for IP and COM";
        QTest::newRow("version of this release") << "lblVersion"
                                                 << "Version 2.0.0";
        QTest::newRow("description is the title") << "lblDescription"
                                                  << "Veltrano Quorvane for IP and COM";
    }

    void labels_showTitleAndVersion()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Veltrano Quorvane for IP and COM"));
        auto* label = about.findChild<QLabel*>(control);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
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
