#include "app/about_dialog.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "app/dialog_layout.h"
#include "app/hyperlink.h"
#include "app/resources.h"

#ifndef BRELVIX_HOMEPAGE_URL
#error "BRELVIX_HOMEPAGE_URL is set by the build (the maker's web page)"
#endif
#ifndef BRELVIX_DONATION_URL
#error "BRELVIX_DONATION_URL is set by the build (the donation page)"
#endif

namespace brelvix::app {

namespace {

constexpr char kDonationText[] =
    "Brelvix is a freeware, but if you like it, please consider\n"
    "a small donation to the developer - $1, $5 or $10,\n"
    "or whatever you think this software is worth. And thanks!";

constexpr char kDonationLinkText[] = "Make a donation via PayPal";

constexpr int kIconSize = 32;

QLabel* Text(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

}  // namespace

QString HomepageAddress()
{
    return QString::fromUtf8(BRELVIX_HOMEPAGE_URL);
}

QString DonationAddress()
{
    return QString::fromUtf8(BRELVIX_DONATION_URL);
}

bool OpenDonationPage()
{
    return QDesktopServices::openUrl(QUrl(DonationAddress()));
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    InitBrelvixResources();
    setWindowTitle(QStringLiteral("About"));
    DialogLayout layout;

    // Frames first, so that the texts and links lie above them and get the
    // mouse.
    layout.Place(new QGroupBox(this), 7, 3, 193, 71);
    layout.Place(new QGroupBox(this), 7, 75, 193, 63);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    layout.Place(okButton, 150, 145, 50, 14);

    layout.Place(Text(this, QStringLiteral("Brelvix version %1\n\n").arg(QLatin1String(kProgramVersion)) +
                                QString::fromUtf8("Copyright \u00A9 Dunmere Corporation.\nAll rights reserved.")),
                 48, 16, 124, 37, DialogLayout::Fit::Lines);
    layout.Place(Text(this, QString::fromLatin1(kDonationText)), 15, 86, 180, 28, DialogLayout::Fit::Lines);
    // The addresses wrap rather than widen the box: a packager's address may
    // be long.
    homepageLabel = Text(this, HomepageAddress());
    layout.Place(homepageLabel, 48, 57, 118, 8);
    donationLabel = Text(this, QString::fromLatin1(kDonationLinkText));
    layout.Place(donationLabel, 48, 120, 93, 8, DialogLayout::Fit::Width);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/brelvix/brelvix.png")).pixmap(QSize(kIconSize, kIconSize)));

    const DialogUnits units = layout.Apply(this, 207, 166);
    // The icon keeps the desktop's icon size whatever the font.
    icon->setGeometry(QRect(units.Rect(15, 17, 20, 20).topLeft(), QSize(kIconSize, kIconSize)));

    CenterOverParent(this, parent);

    homepageLink = new HyperLink(this);
    homepageLink->Attach(homepageLabel);
    donationLink = new HyperLink(this);
    donationLink->Attach(donationLabel);
    donationLink->SetTarget(DonationAddress());

    setTabOrder(okButton, homepageLabel);
    setTabOrder(homepageLabel, donationLabel);
    okButton->setFocus();
}

AboutDialog::~AboutDialog() = default;

}  // namespace brelvix::app
