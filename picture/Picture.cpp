#include "picture/Picture.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "common/FileIO.h"
#include "common/Parallel.h"
#include "lut/ImageResize2.h"
#include "lut/PreciseResize.h"
#include "lut/PixelBuffer.h"
#include "picture/PictureCodecs.h"

namespace tintavo {

void FailPicture(const std::string& name, const std::string& reason) {
    throw EPictureError("Cannot read picture \"" + name + "\": " + reason);
}

void FailPictureWrite(const std::string& name, const std::string& reason) {
    throw EPictureError("Cannot write picture \"" + name + "\": " + reason);
}

void CheckPictureSize(const std::string& name, long long width, long long height, long long maxPixels) {
    if (width <= 0 || height <= 0)
        FailPicture(name, "Invalid picture size " + std::to_string(width) + " x " + std::to_string(height));
    // width * height > maxPixels, asked without forming the product (two 32-bit sizes overflow it).
    if (width > maxPixels / height)
        FailPicture(name, "The picture is " + std::to_string(width) + " x " + std::to_string(height) +
                              " pixels, more than the " + std::to_string(maxPixels / 1'000'000) +
                              " megapixels accepted");
}

TPictureType DetectPictureType(const std::uint8_t* data, std::size_t size) {
    const TPictureCodec* codec = SniffPictureCodec(data, size);
    return codec ? codec->Type : TPictureType::Unknown;
}

void PourRows(const TBitmap24& bitmap, TPictureRowSink& sink) {
    const int height = bitmap.Height();
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(bitmap.Width());
    for (int y = 0; y < height;) {
        const TPictureRowSink::TRoom room = sink.Room(y, height - y);
        for (int i = 0; i < room.Count; ++i) std::memcpy(room.Rows + i * room.Stride, bitmap.ScanLine(y + i), rowBytes);
        sink.Filled(y, room.Count);
        y += room.Count;
    }
}

void PourRows(const TPreciseImage& image, TPictureRowSink& sink) {
    const int height = image.Height();
    const std::size_t rowBytes = sizeof(float) * static_cast<std::size_t>(image.RowFloats());
    for (int y = 0; y < height;) {
        const TPictureRowSink::TRoom room = sink.Room(y, height - y);
        for (int i = 0; i < room.Count; ++i) std::memcpy(room.Rows + i * room.Stride, image.Row(y + i), rowBytes);
        sink.Filled(y, room.Count);
        y += room.Count;
    }
}

std::string TPictureInfo::Description() const {
    std::string type = "picture";
    for (const TPictureCodec& codec : PictureCodecs())
        if (codec.Type == Type) type = codec.Name;
    if (FloatSamples) return (BitsPerSample == 16 ? "half-float " : std::to_string(BitsPerSample) + "-bit float ") + type;
    return std::to_string(BitsPerSample) + "-bit " + type;
}

std::string TPictureInfo::ClampWarning(const std::string& fileName) const {
    if (ClampedSamples == 0) return {};
    return "\"" + fileName + "\": " + std::to_string(ClampedSamples) +
           (ClampedSamples == 1 ? " sample lay" : " samples lay") + " outside 0..1 and " +
           (ClampedSamples == 1 ? "was" : "were") + " clamped to 0..1";
}

namespace {

const TSampleDepth kAllDepths[] = {TSampleDepth::Default, TSampleDepth::Bits8, TSampleDepth::Bits10,
                                   TSampleDepth::Bits16, TSampleDepth::Half, TSampleDepth::Float};

}  // namespace

const char* SampleDepthName(TSampleDepth depth) {
    switch (depth) {
        case TSampleDepth::Default: return "default";
        case TSampleDepth::Bits8: return "8";
        case TSampleDepth::Bits10: return "10";
        case TSampleDepth::Bits16: return "16";
        case TSampleDepth::Half: return "half";
        case TSampleDepth::Float: return "float";
    }
    return "default";
}

bool ParseSampleDepth(const std::string& name, TSampleDepth& depth) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const TSampleDepth d : kAllDepths)
        if (lower == SampleDepthName(d)) {
            depth = d;
            return true;
        }
    return false;
}

namespace {

// The bytes of a picture file, in memory that is given back as soon as the picture is decoded
// (a heap buffer of this size would stay with the process).
TPixelBuffer ReadPictureFile(const std::string& fileName, std::size_t& size) {
    TPixelBuffer bytes;
    size = ReadWholeFile(fileName, [&](std::size_t capacity) {
        TPixelBuffer larger(capacity);
        if (bytes.Size() > 0) std::memcpy(larger.Data(), bytes.Data(), std::min(bytes.Size(), capacity));
        bytes = std::move(larger);
        return bytes.Data();
    });
    return bytes;
}

// The codec for the bytes of a picture file, or EPictureError.
const TPictureCodec& CodecFor(const std::uint8_t* data, std::size_t size, const std::string& name) {
    if (size == 0) FailPicture(name, "The file is empty");
    const TPictureCodec* codec = SniffPictureCodec(data, size);
    if (codec == nullptr) FailPicture(name, "Not a " + PictureTypeNames() + " picture");
    return *codec;
}

// Rows that arrive in the other kind than a sink keeps go through a few rows of this kind first.
constexpr int ConvertRows = 16;

// Float rows to 24-bit rows, each sample rounded with UnitToByte.
void FloatRowsToBytes(const TPreciseImage& rows, int count, TBitmap24& out, int firstRow) {
    const int w = rows.Width();
    for (int i = 0; i < count; ++i) {
        const float* s = rows.Row(i);
        std::uint8_t* d = out.ScanLine(firstRow + i);
        for (int x = 0; x < w; ++x, s += 3, d += 3) {
            d[0] = UnitToByte(s[2]);
            d[1] = UnitToByte(s[1]);
            d[2] = UnitToByte(s[0]);
        }
    }
}

// What every sink keeps of the picture it is given: its facts, and whether it began.
class TRecordingSink : public TPictureRowSink {
public:
    void Clamped(long long samples) override { info_.ClampedSamples = samples; }
    bool Started() const { return started_; }
    const TPictureInfo& Info() const { return info_; }

protected:
    void Begin(const TPictureInfo& info) {
        started_ = true;
        info_ = info;
    }
    TPictureInfo info_;

private:
    bool started_ = false;
};

// Rows straight into a bitmap of the picture's size (a deep picture's rounded to 8 bits).
class TBitmapSink : public TRecordingSink {
public:
    explicit TBitmapSink(TBitmap24& out) : out_(out) {}
    void Start(const TPictureInfo& info) override {
        Begin(info);
        out_.SetSize(info.Width, info.Height);
        if (info.Deep()) floats_.SetSize(info.Width, std::min(info.Height, ConvertRows));
    }
    TRoom Room(int y, int count) override {
        if (!info_.Deep()) return {out_.ScanLine(y), out_.Stride(), count};
        return {reinterpret_cast<std::uint8_t*>(floats_.Row(0)),
                static_cast<std::ptrdiff_t>(sizeof(float)) * floats_.RowFloats(), std::min(count, floats_.Height())};
    }
    void Filled(int y, int count) override {
        if (info_.Deep()) FloatRowsToBytes(floats_, count, out_, y);
    }

private:
    TBitmap24& out_;
    TPreciseImage floats_;
};

// Rows straight into a precise image of the picture's size (an 8-bit picture's as v / 255).
class TPreciseSink : public TRecordingSink {
public:
    explicit TPreciseSink(TPreciseImage& out) : out_(out) {}
    void Start(const TPictureInfo& info) override {
        Begin(info);
        out_.SetSize(info.Width, info.Height);
        if (!info.Deep()) bytes_.SetSize(info.Width, std::min(info.Height, ConvertRows));
    }
    TRoom Room(int y, int count) override {
        if (info_.Deep())
            return {reinterpret_cast<std::uint8_t*>(out_.Row(y)),
                    static_cast<std::ptrdiff_t>(sizeof(float)) * out_.RowFloats(), count};
        return {bytes_.Bits(), bytes_.Stride(), std::min(count, bytes_.Height())};
    }
    void Filled(int y, int count) override {
        if (info_.Deep()) return;
        const int w = info_.Width;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* s = bytes_.ScanLine(i);
            float* d = out_.Row(y + i);
            for (int x = 0; x < w; ++x, s += 3, d += 3) {
                d[0] = ByteToUnit(s[2]);
                d[1] = ByteToUnit(s[1]);
                d[2] = ByteToUnit(s[0]);
            }
        }
    }

private:
    TPreciseImage& out_;
    TBitmap24 bytes_;
};

// The Open command's rows: gathered in bands of about BandBytes, each band reduced as soon as
// it is full, so that only a few bands of the picture are ever in memory. The decoder fills the
// bands on one thread while FilterBands, on another, puts the full ones through the horizontal
// pass. The decoder never waits: when no band is free, it filters the oldest full one itself,
// so the work gets done also when the second thread never runs.
//
// Which reductions run depends on the rows and on the precision asked for: 8-bit rows go
// through the 8-bit reduction, and through the precise one as well when a precise image is
// wanted; float rows go through the precise reduction alone (the 8-bit image is then the
// precise one rounded), or, when no precise image is wanted, are rounded to 8 bits and go
// through the 8-bit reduction.
class TWorkingPictureSink : public TRecordingSink {
public:
    explicit TWorkingPictureSink(TPrecision precision) : precision_(precision) {}

    void Start(const TPictureInfo& info) override {
        Begin(info);
        const int width = info.Width, height = info.Height;
        deepRows_ = info.Deep();
        precise_ = precision_ == TPrecision::Always || (precision_ == TPrecision::Auto && deepRows_);
        height_ = height;
        FitSize(width, height, WorkingWidth, WorkingHeight, targetWidth_, targetHeight_);
        if (targetWidth_ > 0 && targetHeight_ > 0) {
            const TFilterFunction filter = FilterFunction(rfLanczos3);
            const float radius = FilterDefaultRadius(rfLanczos3);
            if (!(deepRows_ && precise_))
                resampler_.emplace(filter, radius, width, height, targetWidth_, targetHeight_);
            if (precise_) preciseResampler_.emplace(filter, radius, width, height, targetWidth_, targetHeight_);
        }
        // Whole blocks of eight rows, which the resampler's kernels take fastest.
        const std::size_t rowBytes = deepRows_ ? 3 * sizeof(float) * static_cast<std::size_t>(width)
                                               : static_cast<std::size_t>(TBitmap24::StrideFor(width));
        const int rows = static_cast<int>(BandBytes / rowBytes) / 8 * 8;
        width_ = width;
        bandRows_ = std::min(height, std::clamp(rows, 8, 1024));
    }
    TRoom Room(int y, int count) override {
        if (filling_ == nullptr) {
            filling_ = FreeBand();
            filling_->FirstRow = y;
            filling_->Rows = 0;
        }
        const int room = std::min(count, bandRows_ - filling_->Rows);
        if (deepRows_)
            return {reinterpret_cast<std::uint8_t*>(filling_->Floats.Row(filling_->Rows)),
                    static_cast<std::ptrdiff_t>(sizeof(float)) * filling_->Floats.RowFloats(), room};
        return {filling_->Pixels.ScanLine(filling_->Rows), filling_->Pixels.Stride(), room};
    }
    void Filled(int y, int count) override {
        filling_->Rows += count;
        if (filling_->Rows < bandRows_ && y + count < height_) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            full_.push_back(filling_);
        }
        filling_ = nullptr;
        changed_.notify_one();
    }
    // The decoder is done (`complete`), or has failed and the full bands are of no use.
    void Close(bool complete) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
            if (!complete) full_.clear();
        }
        changed_.notify_all();
    }
    // Filters full bands as they come, until Close.
    void FilterBands() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return !full_.empty() || closed_; });
            if (full_.empty()) return;
            TBand* band = full_.front();
            full_.pop_front();
            lock.unlock();
            Filter(*band);
            lock.lock();
            free_.push_back(band);
        }
    }
    // As ResizeBitmap: the targets sized, then filled.
    void Finish(TBitmap24& work, TPreciseImage* precise) {
        bands_.clear();
        if (precise_ && precise) {
            if (preciseResampler_) preciseResampler_->Finish(*precise);
            else precise->SetSize(targetWidth_, targetHeight_);
        }
        if (deepRows_ && precise_) {
            PreciseToBitmap(*precise, work);
            return;
        }
        work.SetSize(targetWidth_, targetHeight_);
        if (resampler_) resampler_->Finish(work);
    }
    bool Precise() const { return precise_; }

private:
    struct TBand {
        TBitmap24 Pixels;      // 8-bit rows, or float rows rounded to 8 bits
        TPreciseImage Floats;  // float rows
        int FirstRow = 0;
        int Rows = 0;
    };
    static constexpr std::size_t BandBytes = 2u << 20;
    // Three bands: one filling, one filtering, one full and waiting.
    static constexpr std::size_t BandCount = 3;

    void Filter(TBand& band) {
        if (deepRows_ && !precise_) {
            FloatRowsToBytes(band.Floats, band.Rows, band.Pixels, 0);
        } else if (deepRows_) {
            if (preciseResampler_)
                preciseResampler_->AddRows(band.FirstRow, band.Floats.Row(0), band.Floats.RowFloats(), band.Rows);
            return;
        }
        if (resampler_) resampler_->AddRows(band.FirstRow, band.Pixels.Bits(), band.Pixels.Stride(), band.Rows);
        if (preciseResampler_ && !deepRows_)
            preciseResampler_->AddByteRows(band.FirstRow, band.Pixels.Bits(), band.Pixels.Stride(), band.Rows);
    }

    TBand* FreeBand() {
        TBand* full = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                TBand* band = free_.back();
                free_.pop_back();
                return band;
            }
            if (bands_.size() < BandCount) {
                bands_.push_back(std::make_unique<TBand>());
                if (deepRows_) bands_.back()->Floats.SetSize(width_, bandRows_);
                if (!(deepRows_ && precise_)) bands_.back()->Pixels.SetSize(width_, bandRows_);
                return bands_.back().get();
            }
            // With three bands and at most one being filtered elsewhere, one is full here.
            full = full_.front();
            full_.pop_front();
        }
        Filter(*full);
        return full;
    }

    TPrecision precision_;
    bool deepRows_ = false, precise_ = false;
    int width_ = 0, height_ = 0, targetWidth_ = 0, targetHeight_ = 0, bandRows_ = 0;
    std::optional<TBandResampler> resampler_;
    std::optional<TPreciseBandResampler> preciseResampler_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<TBand>> bands_;
    std::vector<TBand*> free_;
    std::deque<TBand*> full_;
    TBand* filling_ = nullptr;
    bool closed_ = false;
};

}  // namespace

void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out, long long maxPixels) {
    const TPictureCodec& codec = CodecFor(data, size, nameForMessages);
    TBitmapSink sink(out);
    try {
        codec.Decode(data, size, nameForMessages, maxPixels, sink);
    } catch (...) {
        if (sink.Started()) out.Clear();  // no half-decoded picture stays behind
        throw;
    }
}

void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out) {
    LoadPictureFromMemory(data, size, nameForMessages, out, MaxPicturePixels);
}

void LoadPicture(const std::string& fileName, TBitmap24& out) { LoadPictureInfo(fileName, out); }

TPictureInfo LoadPictureInfo(const std::string& fileName, TBitmap24& out) {
    std::size_t size = 0;
    const TPixelBuffer bytes = ReadPictureFile(fileName, size);
    const TPictureCodec& codec = CodecFor(bytes.Data(), size, fileName);
    TBitmapSink sink(out);
    try {
        codec.Decode(bytes.Data(), size, fileName, MaxPicturePixels, sink);
    } catch (...) {
        if (sink.Started()) out.Clear();
        throw;
    }
    TPictureInfo info = sink.Info();
    info.Type = codec.Type;
    return info;
}

namespace {

// 8-bit rows into the bitmap, float rows into the precise image, as the picture has them.
class TNativeSink : public TPictureRowSink {
public:
    TNativeSink(TBitmap24& bitmap, TPreciseImage& precise) : bitmap_(bitmap), precise_(precise) {}
    void Start(const TPictureInfo& info) override {
        deep_ = info.Deep();
        active_ = deep_ ? static_cast<TPictureRowSink*>(&precise_) : &bitmap_;
        active_->Start(info);
    }
    TRoom Room(int y, int count) override { return active_->Room(y, count); }
    void Filled(int y, int count) override { active_->Filled(y, count); }
    void Clamped(long long samples) override { active_->Clamped(samples); }
    bool Started() const { return active_ != nullptr; }
    TPictureInfo Info() const { return deep_ ? precise_.Info() : bitmap_.Info(); }

private:
    TBitmapSink bitmap_;
    TPreciseSink precise_;
    TPictureRowSink* active_ = nullptr;
    bool deep_ = false;
};

}  // namespace

TPictureInfo LoadPictureNative(const std::string& fileName, TBitmap24& bitmap, TPreciseImage& precise) {
    std::size_t size = 0;
    const TPixelBuffer bytes = ReadPictureFile(fileName, size);
    const TPictureCodec& codec = CodecFor(bytes.Data(), size, fileName);
    TNativeSink sink(bitmap, precise);
    try {
        codec.Decode(bytes.Data(), size, fileName, MaxPicturePixels, sink);
    } catch (...) {
        if (sink.Started()) {
            bitmap.Clear();
            precise.Clear();
        }
        throw;
    }
    TPictureInfo info = sink.Info();
    info.Type = codec.Type;
    if (info.Deep()) bitmap.Clear();
    else precise.Clear();
    return info;
}

TPictureInfo LoadPreciseImageFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                                        TPreciseImage& out, long long maxPixels) {
    const TPictureCodec& codec = CodecFor(data, size, nameForMessages);
    TPreciseSink sink(out);
    try {
        codec.Decode(data, size, nameForMessages, maxPixels, sink);
    } catch (...) {
        if (sink.Started()) out.Clear();
        throw;
    }
    TPictureInfo info = sink.Info();
    info.Type = codec.Type;
    return info;
}

TPictureInfo LoadPreciseImage(const std::string& fileName, TPreciseImage& out) {
    std::size_t size = 0;
    const TPixelBuffer bytes = ReadPictureFile(fileName, size);
    return LoadPreciseImageFromMemory(bytes.Data(), size, fileName, out);
}

void MakeWorkingBitmap(const TBitmap24& source, TBitmap24& work) {
    int w = 0, h = 0;
    FitSize(source.Width(), source.Height(), WorkingWidth, WorkingHeight, w, h);
    // Always resampled, also at the same size (Lanczos3 then gives back the same pixels).
    ResizeBitmap(w, h, rfLanczos3, 0.0f, source, work);
}

void OpenCalibrationPicture(const std::string& fileName, TWorkingPicture& picture, TPrecision precision) {
    std::size_t size = 0;
    const TPixelBuffer bytes = ReadPictureFile(fileName, size);
    const TPictureCodec& codec = CodecFor(bytes.Data(), size, fileName);
    TWorkingPictureSink sink(precision);
    TParallelOptions options;
    options.MaxThreads = std::min(2, ParallelThreadLimit());
    ParallelFor(
        2,
        [&](int begin, int end) {
            for (int task = begin; task < end; ++task) {
                if (task == 1) {
                    sink.FilterBands();
                    continue;
                }
                try {
                    codec.Decode(bytes.Data(), size, fileName, MaxPicturePixels, sink);
                } catch (...) {
                    sink.Close(false);
                    throw;
                }
                sink.Close(true);
            }
        },
        options);
    if (sink.Precise()) {
        sink.Finish(picture.Bitmap, &picture.Precise);
    } else {
        sink.Finish(picture.Bitmap, nullptr);
        picture.Precise.Clear();
    }
    picture.Info = sink.Info();
    picture.Info.Type = codec.Type;
}

void OpenCalibrationPicture(const std::string& fileName, TBitmap24& work) {
    TWorkingPicture picture;
    picture.Bitmap = std::move(work);  // its buffer is reused
    try {
        OpenCalibrationPicture(fileName, picture, TPrecision::Never);
    } catch (...) {
        work = std::move(picture.Bitmap);  // untouched: the picture was not read whole
        throw;
    }
    work = std::move(picture.Bitmap);
}

namespace {

const TPictureCodec& SavingCodec(const std::string& fileName) {
    const TPictureCodec* codec = PictureCodecForFileName(fileName);
    if (codec == nullptr || (codec->Encode == nullptr && codec->EncodePrecise == nullptr))
        FailPictureWrite(fileName, "Unknown picture type (use " + SavablePictureExtensions() + ")");
    return *codec;
}

std::string DepthList(const TPictureCodec& codec) {
    std::string text;
    for (std::size_t i = 0; i < codec.Depths.size(); ++i) {
        if (i > 0) text += i + 1 == codec.Depths.size() ? " or " : ", ";
        text += SampleDepthName(codec.Depths[i]);
    }
    return text;
}

}  // namespace

std::string PictureDepthNames(const std::string& fileName) {
    const TPictureCodec* codec = PictureCodecForFileName(fileName);
    return codec ? DepthList(*codec) : std::string();
}

bool CanSavePictureAt(const std::string& fileName, TSampleDepth depth) {
    if (!CanSavePicture(fileName)) return false;
    const TPictureCodec& codec = *PictureCodecForFileName(fileName);
    return depth == TSampleDepth::Default ||
           std::find(codec.Depths.begin(), codec.Depths.end(), depth) != codec.Depths.end();
}

void SavePicture(const std::string& fileName, const TBitmap24& bitmap, int jpegQuality) {
    if (bitmap.Empty()) FailPictureWrite(fileName, "The picture is empty");
    const TPictureCodec& codec = SavingCodec(fileName);
    if (codec.Encode == nullptr) {  // a type written only deep: at its first depth
        TPreciseImage image;
        BitmapToPrecise(bitmap, image);
        WriteFileAtomically(fileName, codec.EncodePrecise(image, codec.Depths.front(), fileName));
        return;
    }
    TPictureSaveOptions options;
    options.JpegQuality = jpegQuality;
    WriteFileAtomically(fileName, codec.Encode(bitmap, options, fileName));
}

TSampleDepth SavePreciseImage(const std::string& fileName, const TPreciseImage& image, TSampleDepth depth,
                              int jpegQuality) {
    if (image.Empty()) FailPictureWrite(fileName, "The picture is empty");
    const TPictureCodec& codec = SavingCodec(fileName);
    if (depth == TSampleDepth::Default) depth = codec.Depths.front();
    if (std::find(codec.Depths.begin(), codec.Depths.end(), depth) == codec.Depths.end())
        FailPictureWrite(fileName, std::string("A ") + codec.Name + " picture is written at " + DepthList(codec) +
                                       " bits per sample, not " + SampleDepthName(depth));
    if (depth == TSampleDepth::Bits8 && codec.Encode != nullptr) {
        TBitmap24 bitmap;
        PreciseToBitmap(image, bitmap);
        TPictureSaveOptions options;
        options.JpegQuality = jpegQuality;
        WriteFileAtomically(fileName, codec.Encode(bitmap, options, fileName));
    } else {
        WriteFileAtomically(fileName, codec.EncodePrecise(image, depth, fileName));
    }
    return depth;
}

}  // namespace tintavo
