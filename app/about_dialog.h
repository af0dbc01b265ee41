// The Help menu's boxes that say what the program is: About (name, version,
// maker, a link to the maker's page and one to the donation page) and the
// Donate command, which opens the donation page directly.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace brelvix::app {

class HyperLink;

// The program's version as the About box and --version show it.
inline constexpr char kProgramVersion[] = "2.1";

// The two web addresses; a packager sets them when configuring the build.
QString HomepageAddress();
QString DonationAddress();

// Opens the donation page with the desktop's web browser. Whether it could
// be opened is returned but, as for any web page, not reported to the user.
bool OpenDonationPage();

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // Laid out, centred over `parent` and ready to run.
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    // The link to the maker's page (its text is its address) and the
    // donation link.
    HyperLink* HomepageLink() const { return homepageLink; }
    HyperLink* DonationLink() const { return donationLink; }
    QLabel* HomepageLabel() const { return homepageLabel; }
    QLabel* DonationLabel() const { return donationLabel; }
    QPushButton* OkButton() const { return okButton; }

private:
    HyperLink* homepageLink = nullptr;
    HyperLink* donationLink = nullptr;
    QLabel* homepageLabel = nullptr;
    QLabel* donationLabel = nullptr;
    QPushButton* okButton = nullptr;
};

}  // namespace brelvix::app
