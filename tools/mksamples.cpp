// mksamples FOLDER
//
// Writes the sample pictures that run.sh shows (res/samples/) into FOLDER:
// the same synthetic scene in each format, one small function per format.
// The pictures are generated, so they can be rebuilt at any time and carry
// no third-party content.
#include <cstdio>
#include <string>

#include "support/bmp_writer.h"
#include "support/sample_picture.h"

namespace {

// An 8-bit run-length bitmap: small on disk and exercises the run-length reader.
bool WriteBmpSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    return WriteFileBytes(folder + "/01-sunrise.bmp", EncodeBmp(picture, BmpKind::RunLength8));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mksamples FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    struct Sample {
        const char* name;
        bool (*write)(const std::string&);
    };
    const Sample samples[] = {
        {"BMP", WriteBmpSample},
    };
    int status = 0;
    for (const Sample& sample : samples) {
        if (!sample.write(folder)) {
            std::fprintf(stderr, "mksamples: cannot write the %s sample into %s\n", sample.name, folder.c_str());
            status = 1;
        }
    }
    return status;
}
