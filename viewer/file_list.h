// The list of the pictures in a folder, and the position of the one on
// screen in it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace brelvix {

// The extensions of listed pictures, without the dot; compared without regard
// to letter case. PCX pictures open but are never listed or accepted by drop.
inline constexpr const char* kPictureExtensions[] = {"jpg", "jpeg", "bmp",  "gif",  "tif",  "tiff", "png",
                                                     "tga", "webp", "avif", "heic", "heif", "jxl"};

// True when `extension` (without the dot) is one of kPictureExtensions,
// letter case ignored.
bool IsPictureExtension(const std::string& extension);

// Orders two file names the way a person reads them: letters without regard
// to case, runs of digits by their value (img2 before img10). Names that
// compare equal that way are ordered by their bytes, so the order is total.
// Returns < 0, 0 or > 0.
int CompareNaturally(const std::string& a, const std::string& b);

class FileList {
public:
    // Lists the pictures of the folder of `picturePath` (the part before its
    // last '/') and sets the position to the picture's: the first entry
    // equal to it byte for byte, else the first equal without regard to
    // letter case, else the length of the list. Returns false, leaving list
    // and position as they were, when the path has no '/'; returns false
    // with an empty list and the position unchanged when the folder cannot
    // be read.
    bool BuildFileList(const std::string& picturePath, bool includeSubdirectories);

    // Appends the pictures of `folder`: entries in natural name order, each
    // as folder + "/" + name; with `includeSubdirectories`, each subfolder's
    // pictures (depth-first) stand where the subfolder's name falls. A folder
    // already entered in this scan (same device and inode, e.g. through a
    // symbolic link loop) is not entered again. The current directory of the
    // process is never changed. Returns false when `folder` cannot be opened
    // and read.
    bool ScanFolder(const std::string& folder, bool includeSubdirectories);

    // Full paths of the listed pictures, in scan order.
    const std::vector<std::string>& Entries() const { return entries; }
    std::int64_t Count() const { return static_cast<std::int64_t>(entries.size()); }
    // The position of the picture on screen; it may equal the list's length
    // (a picture the list does not hold), or lie anywhere after a step the
    // list no longer has room for.
    std::int32_t CurrentIndex() const { return currentIndex; }
    void SetCurrentIndex(std::int32_t index) { currentIndex = index; }
    // Takes `ordered`, the same pictures in another order, with `index` as
    // the position.
    void Assign(std::vector<std::string> ordered, std::int32_t index)
    {
        entries = std::move(ordered);
        currentIndex = index;
    }
    // Whether `index` names an entry.
    bool Holds(std::int64_t index) const { return index >= 0 && index < Count(); }

private:
    std::vector<std::string> entries;
    std::int32_t currentIndex = 0;
};

}  // namespace brelvix
