// The colour helper of the end-to-end tests under Xvfb: writes the test
// pictures, sets the display's profile where X11 desktops publish it, and
// checks the screen against lcms2's own transform of the file's values.
//
//   color_probe write DIR        p3.heic (Display P3 code points),
//                                adobe.jpg and prophoto.jpg (embedded
//                                profiles), 160 x 120 of one colour each;
//                                red.png, red at half opacity; display.icc,
//                                a wide-gamut display's profile, unlike
//                                any of the pictures' own
//   color_probe display FILE     sets the root window's _ICC_PROFILE to the
//                                file's bytes ("none" deletes it)
//   color_probe expect FILE ICC  prints the colour lcms2 computes for the
//                                file's stored value and the display
//                                profile ICC ("none": sRGB) as R,G,B; exit 2
//                                when it is too close to the stored value
//                                to tell them apart
//   color_probe count R,G,B...   prints how many screen pixels have each
//                                colour
// With SHOT set, the screenshot is saved there too.
#include <lcms2.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "support/heif_writer.h"
#include "support/icc_profiles.h"
#include "support/jpeg_writer.h"
#include "support/png_writer.h"
#include "support/raw_picture.h"

using namespace brelvix;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
// The issue's own example: a red that ProPhoto RGB means far more
// saturated than sRGB can show.
constexpr std::uint8_t kColour[3] = {200, 60, 40};

bool Save(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return !bytes.empty() && out.good();
}

Bytes Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Primaries as wide as those of ultra-high-definition television with a
// plain 2.2 gamma: each picture above has to be converted for it.
Bytes WideDisplayProfile()
{
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    Bytes bytes;
    cmsUInt32Number size = 0;
    if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) {
            bytes.clear();
        }
    }
    if (profile != nullptr) {
        cmsCloseProfile(profile);
    }
    return bytes;
}

int Write(const std::string& dir)
{
    std::vector<std::uint8_t> flat;
    RawPicture raw;
    raw.width = kWidth;
    raw.height = kHeight;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        flat.insert(flat.end(), kColour, kColour + 3);
        raw.samples.insert(raw.samples.end(), kColour, kColour + 3);
    }
    HeifWriterOptions heif;
    heif.quality = 95;
    heif.primaries = 12;  // Display P3
    heif.transfer = 13;   // the sRGB curve
    JpegWriterOptions adobe;
    adobe.iccProfile = MakeTestProfile(TestProfile::kAdobeRgb);
    JpegWriterOptions proPhoto;
    proPhoto.iccProfile = MakeTestProfile(TestProfile::kProPhoto);
    PngPicture red;
    red.width = kWidth;
    red.height = kHeight;
    red.colorType = 6;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        red.samples.insert(red.samples.end(), {255, 0, 0, 128});
    }
    const bool written = Save(dir + "/p3.heic", EncodeHeif(raw, heif)) &&
                         Save(dir + "/adobe.jpg", EncodeJpeg(kWidth, kHeight, flat, adobe)) &&
                         Save(dir + "/prophoto.jpg", EncodeJpeg(kWidth, kHeight, flat, proPhoto)) &&
                         Save(dir + "/red.png", EncodePng(red)) && Save(dir + "/display.icc", WideDisplayProfile());
    return written ? 0 : 1;
}

int SetDisplay(const std::string& file)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::puts("no X server");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const char name[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    if (atom == nullptr) {
        return 1;
    }
    Bytes icc;
    if (file == "none") {
        xcb_delete_property(connection, root, atom->atom);
    } else {
        icc = Load(file);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8,
                            static_cast<std::uint32_t>(icc.size()), icc.data());
    }
    // Read back before leaving: the server may drop the requests of a
    // client that has hung up before it read them.
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20), nullptr);
    const bool set = reply != nullptr && static_cast<std::size_t>(xcb_get_property_value_length(reply)) == icc.size();
    std::free(reply);
    std::free(atom);
    xcb_disconnect(connection);
    if (!set) {
        std::puts("the root window's property did not take");
    }
    return set ? 0 : 1;
}

QImage Screenshot()
{
    QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    if (const char* path = std::getenv("SHOT")) {
        shot.save(QString::fromLocal8Bit(path));
    }
    return shot;
}

int Expect(const std::string& file, const std::string& display)
{
    // The values as the file stores them: the library's decode, which
    // converts nothing by itself.
    PxBitmap picture;
    if (picture.CreateFromFile(file.c_str()) != 0 || picture.Width() != kWidth) {
        std::printf("cannot decode %s\n", file.c_str());
        return 1;
    }
    const std::uint8_t* centre = picture.Pixels() + picture.Height() / 2 * picture.Stride() + 3 * (kWidth / 2);
    const std::uint8_t stored[3] = {centre[2], centre[1], centre[0]};
    const PxColorProfile& profile = picture.Meta().profile;
    const Bytes to = display == "none" ? Bytes{} : Load(display);
    const Bytes out = LcmsConvert(profile.srgb ? Bytes{} : profile.icc, TYPE_RGB_8, to, TYPE_RGB_8, stored, 1);
    std::printf("%d,%d,%d\n", out[0], out[1], out[2]);
    int apart = 0;
    for (int c = 0; c < 3; ++c) {
        apart = std::max(apart, std::abs(out[c] - stored[c]));
    }
    return apart > 3 ? 0 : 2;
}

int CountColours(int argc, char** argv)
{
    const QImage shot = Screenshot();
    QRgb wanted[16] = {};
    const int count = std::min(argc - 2, 16);
    for (int i = 0; i < count; ++i) {
        int r = 0;
        int g = 0;
        int b = 0;
        if (std::sscanf(argv[i + 2], "%d,%d,%d", &r, &g, &b) != 3) {
            return 2;
        }
        wanted[i] = qRgb(r, g, b);
    }
    long found[17] = {};
    for (int y = 0; y < shot.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            found[std::find(wanted, wanted + count, row[x] | 0xFF000000u) - wanted] += 1;
        }
    }
    for (int i = 0; i < count; ++i) {
        std::printf("%s %ld\n", argv[i + 2], found[i]);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 3 && command == "write") {
        return Write(argv[2]);
    }
    if (argc == 3 && command == "display") {
        return SetDisplay(argv[2]);
    }
    if (argc == 4 && command == "expect") {
        return Expect(argv[2], argv[3]);
    }
    if (argc > 2 && command == "count") {
        QGuiApplication application(argc, argv);
        return CountColours(argc, argv);
    }
    std::fputs("usage: color_probe write DIR | display FILE|none | expect FILE ICC|none | count R,G,B...\n", stderr);
    return 2;
}
