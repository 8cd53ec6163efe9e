// DPX and OpenEXR pictures, read through OpenImageIO after our own header checks.
#include "fuzz/PicturesFuzzHarness.h"

using namespace tintavo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzharness::InitPictureTarget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzharness::IsPictureOf(data, size, {TPictureType::Dpx, TPictureType::Exr})) return -1;  // not kept
    fuzzharness::FuzzPicture(data, size);
    return 0;
}
