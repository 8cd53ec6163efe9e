// Pictures of the types our own decoders read (JPEG, BMP, PNG, TIFF) and bytes of no known type;
// DPX and OpenEXR are left to fuzz_pictures_deep.
#include "fuzz/PicturesFuzzHarness.h"

using namespace tintavo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzharness::InitPictureTarget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (fuzzharness::IsPictureOf(data, size, {TPictureType::Dpx, TPictureType::Exr})) return -1;  // not kept
    fuzzharness::FuzzPicture(data, size);
    return 0;
}
