// The information panel: a side panel beside the picture with what is known
// about the picture on screen: its file (name, folder, size, modified), the
// picture (format, dimensions, bit depth, colour profile, frames) and what
// the camera recorded in its Exif block (make, model, lens, exposure,
// f-number, ISO, focal length, flash, date taken, GPS position).
//
// It follows the picture on screen without slowing the step to it: the view
// tells the frame about every change (the title), the panel looks once the
// event loop has painted the picture, and only when the picture is another
// one does it read anything. The Exif block and the colour profile come
// from the decoded picture, never from a second read of the file; only the
// number of frames of a format that can have several is counted from the
// file, on a thread of its own.
#pragma once

#include <QDockWidget>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/load_control.h"
#include "platform/file_system.h"

class QTimer;
class QTreeWidget;

namespace brelvix {
class ImageView;
}

namespace brelvix::app {

class HandOff;

struct InfoLine {
    QString label;
    QString text;
    bool operator==(const InfoLine&) const = default;
};

struct InfoSection {
    QString title;
    std::vector<InfoLine> lines;
};

// The panel's sections for the picture at `path` (the file system's bytes):
// "File" from the file system now, "Picture" from `picture` as decoded
// (null, or `loaded` false: why it cannot be shown), "Camera" from its Exif
// block. `frames` is the text of the Frames line; empty leaves it out.
std::vector<InfoSection> PictureInformation(const std::string& path, const PxBitmap* picture, bool loaded,
                                            const QString& frames);

// The size of a file as people read it: "532 bytes", "345.7 KB (345,678
// bytes)", "12.3 MB (12,897,484 bytes)" (1 KB = 1024 bytes).
QString FileSizeText(std::int64_t bytes);

// Whether a picture of this format can hold more than one frame.
bool MayHaveFrames(std::int32_t formatId);

class InfoPanel : public QDockWidget {
    Q_OBJECT

public:
    explicit InfoPanel(QWidget* parent);
    ~InfoPanel() override;

    // The picture on screen may have changed. Looks once the event loop
    // comes back (after the paint), and reads only for another picture.
    void Follow(const ImageView& view);
    // What the panel shows now: its sections as the lines of the tree.
    std::vector<InfoSection> Shown() const;
    // Whether the frames of the picture shown are still being counted.
    bool CountingFrames() const { return counting; }
    // Waits for the counting thread (tests); its count shows on the next
    // pass of the event loop.
    void WaitForCount();

signals:
    // The user closed the panel with its own close button.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // What tells one picture on screen from another.
    struct Key {
        std::string path;
        const PxBitmap* picture = nullptr;
        bool loaded = false;
        platform::FileIdentity identity;
        bool operator==(const Key&) const = default;
    };

    void Look();
    void Fill(const std::vector<InfoSection>& sections);
    void CountFrames(const std::string& path);
    void StopCounting();

    QTreeWidget* tree = nullptr;
    const ImageView* view = nullptr;
    QTimer* lookTimer = nullptr;
    bool shownOnce = false;
    Key shown;
    std::string countedPath;
    bool counting = false;
    std::uint64_t counts = 0;
    std::shared_ptr<HandOff> handOff;
    std::shared_ptr<PxLoadControl> countControl;
    std::thread counter;
};

}  // namespace brelvix::app
