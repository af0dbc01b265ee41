#include "app/info_panel.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QTimer>
#include <QTreeWidget>
#include <utility>

#include "app/hand_off.h"
#include "app/main_frame.h"
#include "app/view_widget.h"
#include "imaging/animation.h"
#include "imaging/exif_info.h"
#include "imaging/format_detect.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

constexpr char kFramesLabel[] = "Frames";
constexpr char kCountingText[] = "Counting...";

QString Latin(const std::string& text)
{
    return QString::fromStdString(text);
}

QString DimensionsText(std::int32_t width, std::int32_t height)
{
    QString text = QStringLiteral("%1 x %2 pixels").arg(width).arg(height);
    const double megapixels = double(width) * double(height) / 1e6;
    if (megapixels >= 0.1) {
        text += QStringLiteral(" (%1 MP)").arg(megapixels, 0, 'f', 1);
    }
    return text;
}

QString DepthText(const PxBitmap& picture)
{
    const PxPictureMeta& meta = picture.Meta();
    if (meta.bitsPerSample <= 0) {
        return {};
    }
    QString text;
    switch (meta.space) {
        case PxSampleSpace::kGrey:
            text = QStringLiteral("%1 bits, greyscale").arg(meta.bitsPerSample);
            break;
        case PxSampleSpace::kCmyk:
            text = QStringLiteral("%1 bits per channel, CMYK").arg(meta.bitsPerSample);
            break;
        case PxSampleSpace::kRgb:
            text = QStringLiteral("%1 bits per channel").arg(meta.bitsPerSample);
            break;
    }
    if (picture.HasAlpha()) {
        text += QStringLiteral(", with transparency");
    }
    return text;
}

QString ProfileText(const PxColorProfile& profile)
{
    if (!profile.description.empty()) {
        return QString::fromUtf8(profile.description.c_str());
    }
    if (profile.srgb) {
        return QStringLiteral("sRGB");
    }
    return profile.Tagged() ? QStringLiteral("Embedded, without a name") : QStringLiteral("None (shown as sRGB)");
}

// The number of frames of the file at `path`, counted by reading it;
// nothing when the count was cancelled.
std::optional<std::int32_t> CountFramesOf(const std::string& path, PxLoadControl& control)
{
    const std::unique_ptr<PxAnimation> animation = PxAnimation::Open(path.c_str(), &control);
    if (animation == nullptr) {
        return control.Cancelled() ? std::nullopt : std::optional<std::int32_t>(1);
    }
    if (!animation->HasFrames()) {
        return 1;
    }
    std::int32_t composed = 0;
    // GIF and JPEG XL files say how many frames they hold only at their end.
    while (animation->FrameCount() < 0) {
        const PxAnimation::Step step = animation->Next(&control);
        if (step == PxAnimation::Step::kCancelled) {
            return std::nullopt;
        }
        if (step == PxAnimation::Step::kEnd) {
            break;
        }
        ++composed;
    }
    return animation->FrameCount() >= 0 ? animation->FrameCount() : composed;
}

}  // namespace

QString FileSizeText(std::int64_t bytes)
{
    const QLocale english(QLocale::English);
    const QString exact = english.toString(static_cast<qlonglong>(bytes)) + QStringLiteral(" bytes");
    if (bytes < 1024) {
        return exact;
    }
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2 (%3)").arg(value, 0, 'f', 1).arg(QLatin1String(kUnits[unit]), exact);
}

bool MayHaveFrames(std::int32_t formatId)
{
    switch (formatId) {
        case kPxFormatGIF:
        case kPxFormatPNG:
        case kPxFormatWebP:
        case kPxFormatAVIF:
        case kPxFormatJXL:
            return true;
        default:
            return false;
    }
}

std::vector<InfoSection> PictureInformation(const std::string& path, const PxBitmap* picture, bool loaded,
                                            const QString& frames)
{
    std::vector<InfoSection> sections;
    const QFileInfo file(DecodeName(path));
    InfoSection fileSection{QStringLiteral("File"), {}};
    fileSection.lines.push_back({QStringLiteral("Name"), file.fileName()});
    fileSection.lines.push_back({QStringLiteral("Folder"), QDir::toNativeSeparators(file.absolutePath())});
    if (file.exists()) {
        fileSection.lines.push_back({QStringLiteral("Size"), FileSizeText(file.size())});
        fileSection.lines.push_back(
            {QStringLiteral("Modified"), file.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
    } else {
        fileSection.lines.push_back({QStringLiteral("Size"), QStringLiteral("The file is no longer there")});
    }
    sections.push_back(std::move(fileSection));

    InfoSection pictureSection{QStringLiteral("Picture"), {}};
    if (picture == nullptr || !loaded) {
        const PxLoadError error = picture != nullptr ? picture->LoadError() : PxLoadError::None;
        pictureSection.lines.push_back(
            {QStringLiteral("Cannot display file"),
             error != PxLoadError::None ? QString::fromLatin1(PxLoadErrorText(error)) : QString()});
        sections.push_back(std::move(pictureSection));
        return sections;
    }
    char format[8] = {};
    picture->GetFormatName(format);
    pictureSection.lines.push_back({QStringLiteral("Format"), QString::fromLatin1(format)});
    pictureSection.lines.push_back({QStringLiteral("Dimensions"), DimensionsText(picture->Width(), picture->Height())});
    if (const QString depth = DepthText(*picture); !depth.isEmpty()) {
        pictureSection.lines.push_back({QStringLiteral("Bit depth"), depth});
    }
    pictureSection.lines.push_back({QStringLiteral("Colour profile"), ProfileText(picture->Meta().profile)});
    if (!frames.isEmpty()) {
        pictureSection.lines.push_back({QString::fromLatin1(kFramesLabel), frames});
    }
    sections.push_back(std::move(pictureSection));

    InfoSection camera{QStringLiteral("Camera"), {}};
    const std::vector<std::uint8_t>& exif = picture->Meta().exif;
    for (const auto& [label, text] : PxExifRows(PxReadExifInfo(exif.data(), exif.size()))) {
        // Exif text is meant as ASCII and often is UTF-8; anything else
        // shows as replacement characters rather than as other letters.
        camera.lines.push_back({Latin(label), QString::fromUtf8(text.c_str())});
    }
    if (camera.lines.empty()) {
        camera.lines.push_back({QStringLiteral("Nothing recorded"), QString()});
    }
    sections.push_back(std::move(camera));
    return sections;
}

// ---- the panel

InfoPanel::InfoPanel(QWidget* parent)
    : QDockWidget(QStringLiteral("Information"), parent), handOff(std::make_shared<HandOff>(this))
{
    setObjectName(QStringLiteral("information"));
    setFeatures(QDockWidget::DockWidgetClosable);
    setAllowedAreas(Qt::RightDockWidgetArea);
    // The keys stay the frame's: the panel never takes the focus.
    setFocusPolicy(Qt::NoFocus);
    lookTimer = new QTimer(this);
    lookTimer->setSingleShot(true);
    lookTimer->setInterval(0);
    connect(lookTimer, &QTimer::timeout, this, &InfoPanel::Look);
    tree = new QTreeWidget(this);
    tree->setColumnCount(2);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(false);
    tree->setIndentation(0);
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->setTextElideMode(Qt::ElideMiddle);
    tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree->header()->setStretchLastSection(true);
    setWidget(tree);
}

InfoPanel::~InfoPanel()
{
    handOff->Close();
    StopCounting();
    WaitForCount();
}

void InfoPanel::Follow(const ImageView& image)
{
    view = &image;
    // A timer of no interval fires once the event loop has handled what is
    // posted, the picture's paint among it: the step to a picture never
    // waits for its panel.
    lookTimer->start();
}

void InfoPanel::showEvent(QShowEvent* event)
{
    QDockWidget::showEvent(event);
    if (view != nullptr) {
        Follow(*view);
    }
}

void InfoPanel::closeEvent(QCloseEvent* event)
{
    QDockWidget::closeEvent(event);
    emit Closed();
}

void InfoPanel::Look()
{
    // A hidden panel looks when it shows again.
    if (view == nullptr || isHidden()) {
        return;
    }
    const ImageDocument& document = view->Document();
    Key key{document.Path(), document.Decoded(), document.Loaded(), platform::IdentityOf(document.Path())};
    if (shownOnce && key == shown) {
        return;
    }
    shownOnce = true;
    shown = key;
    StopCounting();
    if (key.path.empty()) {
        Fill({});
        return;
    }
    QString frames;
    if (key.loaded && key.picture != nullptr) {
        if (MayHaveFrames(key.picture->FormatId())) {
            frames = QString::fromLatin1(kCountingText);
            CountFrames(key.path);
        } else {
            frames = QStringLiteral("1");
        }
    }
    Fill(PictureInformation(key.path, key.picture, key.loaded, frames));
}

void InfoPanel::Fill(const std::vector<InfoSection>& sections)
{
    tree->clear();
    for (const InfoSection& section : sections) {
        auto* heading = new QTreeWidgetItem(tree, {section.title});
        QFont bold = heading->font(0);
        bold.setBold(true);
        heading->setFont(0, bold);
        heading->setFirstColumnSpanned(true);
        for (const InfoLine& line : section.lines) {
            auto* item = new QTreeWidgetItem(tree, {line.label, line.text});
            item->setToolTip(1, line.text);
        }
    }
}

std::vector<InfoSection> InfoPanel::Shown() const
{
    std::vector<InfoSection> sections;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->isFirstColumnSpanned()) {
            sections.push_back({item->text(0), {}});
        } else if (!sections.empty()) {
            sections.back().lines.push_back({item->text(0), item->text(1)});
        }
    }
    return sections;
}

void InfoPanel::CountFrames(const std::string& path)
{
    WaitForCount();
    counting = true;
    countedPath = path;
    const std::uint64_t count = ++counts;
    countControl = std::make_shared<PxLoadControl>();
    counter = std::thread([path, count, control = countControl, hand = handOff, self = this] {
        const std::optional<std::int32_t> frames = CountFramesOf(path, *control);
        if (!frames) {
            return;
        }
        hand->Post([self, count, number = *frames] {
            if (count != self->counts || !self->counting) {
                return;
            }
            self->counting = false;
            for (int i = 0; i < self->tree->topLevelItemCount(); ++i) {
                QTreeWidgetItem* item = self->tree->topLevelItem(i);
                if (!item->isFirstColumnSpanned() && item->text(0) == QLatin1String(kFramesLabel)) {
                    item->setText(1, QString::number(number));
                    item->setToolTip(1, QString::number(number));
                }
            }
        });
    });
}

void InfoPanel::StopCounting()
{
    counting = false;
    if (countControl) {
        countControl->Cancel();
    }
}

void InfoPanel::WaitForCount()
{
    if (counter.joinable()) {
        counter.join();
    }
}

// ---- the frame's command

void MainFrame::ToggleInfoPanel()
{
    settings.showInfoPanel = !settings.showInfoPanel;
    SetCheck(kCmdInfoPanel, settings.showInfoPanel);
    SetInfoPanelShown(settings.showInfoPanel && !Image().FullScreen());
}

void MainFrame::SetInfoPanelShown(bool shown)
{
    if (shown == !infoPanel->isHidden()) {
        return;
    }
    infoPanel->setVisible(shown);
    if (shown) {
        infoPanel->Follow(Image());
    }
}

}  // namespace brelvix::app
