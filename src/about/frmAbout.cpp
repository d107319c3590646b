#include "about/frmAbout.h"

#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/window_placement.h"
#include "shell/module_data.h"

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);

    auto* Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    auto* Image2 = new QLabel(Frame1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(ProductPicture(96));
    Image2->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    lblTitle = new QLabel(Frame1);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPointSizeF(font().pointSizeF() * 1.5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setWordWrap(true);

    lblVersion = new QLabel(Frame1);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription = new QLabel(Frame1);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblCopyright = new QLabel(Frame1);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addSpacing(8);
    texts->addWidget(lblDescription);
    texts->addStretch(1);
    texts->addWidget(lblCopyright);

    auto* frameLayout = new QHBoxLayout(Frame1);
    frameLayout->addWidget(Image2);
    frameLayout->addSpacing(12);
    frameLayout->addLayout(texts, 1);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1, 1);
    layout->addLayout(buttons);

    Form_Load();
}

QString frmAbout::VersionNumber()
{
    return QStringLiteral("%1.%2.%3")
        .arg(QUORVANE_VERSION_MAJOR)
        .arg(QUORVANE_VERSION_MINOR)
        .arg(QUORVANE_VERSION_PATCH);
}

QString frmAbout::VersionText()
{
    return QStringLiteral("Version ") + VersionNumber();
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + Globals::AppTitle);
    lblTitle->setText(Globals::AppTitle);
    lblVersion->setText(VersionText());
    // The version record's comments are the title again.
    lblDescription->setText(Globals::AppTitle);
    lblCopyright->setText(QStringLiteral("Copyright \u00A9 2026 Veltrano"));
    setMinimumWidth(440);
    adjustSize();
    Platform::CentreOnScreen(*this);
}

void frmAbout::showEvent(QShowEvent* event)
{
    // Wherever it was moved before, each opening starts in the middle of the screen.
    Platform::CentreOnScreen(*this);
    QDialog::showEvent(event);
}

void frmAbout::cmdOK_Click()
{
    accept();
}

QPixmap frmAbout::ProductPicture(int size)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    PaintProductPicture(p, size);
    return picture;
}

QIcon frmAbout::ProgramIcon()
{
    // Drawn for each size rather than scaled, so the small ones stay crisp.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(ProductPicture(size));
    return icon;
}

void frmAbout::PaintProductPicture(QPainter& p, int size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);

    const QColor body(0x3c, 0x5a, 0x78);
    const QColor metal(0xc8, 0xcc, 0xd2);
    p.setPen(QPen(body.darker(140), 1.5));

    // Housing with its display window.
    QPainterPath housing;
    housing.addRoundedRect(QRectF(10, 62, 80, 28), 6, 6);
    p.setBrush(body);
    p.drawPath(housing);
    p.setBrush(QColor(0x1e, 0x2a, 0x1e));
    p.drawRoundedRect(QRectF(46, 70, 36, 12), 2, 2);
    p.setPen(QPen(QColor(0x7c, 0xfc, 0x7c), 1.5));
    p.drawLine(QPointF(50, 76), QPointF(78, 76));

    // Column and weighing pan.
    p.setPen(QPen(body.darker(140), 1.5));
    p.setBrush(metal.darker(115));
    p.drawRect(QRectF(24, 46, 8, 16));
    p.setBrush(metal);
    p.drawEllipse(QRectF(6, 36, 44, 12));

    // A sample on the pan.
    p.setBrush(QColor(0xe8, 0xa0, 0x40));
    p.drawRoundedRect(QRectF(20, 22, 16, 18), 3, 3);
    p.restore();
}
