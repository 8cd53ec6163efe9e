#include "picture/Picture.h"

#include <algorithm>
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
    // Both factors are below 2^32 here, so the product cannot overflow.
    if (width > 0xFFFFFFFFLL || height > 0xFFFFFFFFLL || width * height > maxPixels)
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

// Rows straight into a bitmap of the picture's size.
class TBitmapSink : public TPictureRowSink {
public:
    explicit TBitmapSink(TBitmap24& out) : out_(out) {}
    void Start(int width, int height) override {
        started_ = true;
        out_.SetSize(width, height);
    }
    TRoom Room(int y, int count) override { return {out_.ScanLine(y), out_.Stride(), count}; }
    void Filled(int, int) override {}
    bool Started() const { return started_; }

private:
    TBitmap24& out_;
    bool started_ = false;
};

// The Open command's rows: gathered in bands of about BandBytes, each band reduced as soon as
// it is full, so that only a few bands of the picture are ever in memory. The decoder fills the
// bands on one thread while FilterBands, on another, puts the full ones through the horizontal
// pass. The decoder never waits: when no band is free, it filters the oldest full one itself,
// so the work gets done also when the second thread never runs.
class TWorkingPictureSink : public TPictureRowSink {
public:
    void Start(int width, int height) override {
        height_ = height;
        FitSize(width, height, WorkingWidth, WorkingHeight, targetWidth_, targetHeight_);
        if (targetWidth_ > 0 && targetHeight_ > 0)
            resampler_.emplace(FilterFunction(rfLanczos3), FilterDefaultRadius(rfLanczos3), width, height,
                               targetWidth_, targetHeight_);
        // Whole blocks of eight rows, which the resampler's kernels take fastest.
        const int rows = static_cast<int>(BandBytes / static_cast<std::size_t>(TBitmap24::StrideFor(width))) / 8 * 8;
        width_ = width;
        bandRows_ = std::min(height, std::clamp(rows, 8, 1024));
    }
    TRoom Room(int y, int count) override {
        if (filling_ == nullptr) {
            filling_ = FreeBand();
            filling_->FirstRow = y;
            filling_->Rows = 0;
        }
        return {filling_->Pixels.ScanLine(filling_->Rows), filling_->Pixels.Stride(),
                std::min(count, bandRows_ - filling_->Rows)};
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
    // As ResizeBitmap: the target sized, then filled.
    void Finish(TBitmap24& work) {
        bands_.clear();
        work.SetSize(targetWidth_, targetHeight_);
        if (resampler_) resampler_->Finish(work);
    }

private:
    struct TBand {
        TBitmap24 Pixels;
        int FirstRow = 0;
        int Rows = 0;
    };
    static constexpr std::size_t BandBytes = 2u << 20;
    // Three bands: one filling, one filtering, one full and waiting.
    static constexpr std::size_t BandCount = 3;

    void Filter(const TBand& band) {
        if (resampler_) resampler_->AddRows(band.FirstRow, band.Pixels.Bits(), band.Pixels.Stride(), band.Rows);
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
                bands_.back()->Pixels.SetSize(width_, bandRows_);
                return bands_.back().get();
            }
            // With three bands and at most one being filtered elsewhere, one is full here.
            full = full_.front();
            full_.pop_front();
        }
        Filter(*full);
        return full;
    }

    int width_ = 0, height_ = 0, targetWidth_ = 0, targetHeight_ = 0, bandRows_ = 0;
    std::optional<TBandResampler> resampler_;
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

void LoadPicture(const std::string& fileName, TBitmap24& out) {
    std::size_t size = 0;
    const TPixelBuffer bytes = ReadPictureFile(fileName, size);
    LoadPictureFromMemory(bytes.Data(), size, fileName, out);
}

void MakeWorkingBitmap(const TBitmap24& source, TBitmap24& work) {
    int w = 0, h = 0;
    FitSize(source.Width(), source.Height(), WorkingWidth, WorkingHeight, w, h);
    // Always resampled, also at the same size (Lanczos3 then gives back the same pixels).
    ResizeBitmap(w, h, rfLanczos3, 0.0f, source, work);
}

void OpenCalibrationPicture(const std::string& fileName, TBitmap24& work) {
    std::size_t size = 0;
    const TPixelBuffer bytes = ReadPictureFile(fileName, size);
    const TPictureCodec& codec = CodecFor(bytes.Data(), size, fileName);
    TWorkingPictureSink sink;
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
    sink.Finish(work);
}

void SavePicture(const std::string& fileName, const TBitmap24& bitmap, int jpegQuality) {
    if (bitmap.Empty()) FailPictureWrite(fileName, "The picture is empty");
    const TPictureCodec* codec = PictureCodecForFileName(fileName);
    if (codec == nullptr || codec->Encode == nullptr)
        FailPictureWrite(fileName, "Unknown picture type (use " + SavablePictureExtensions() + ")");
    TPictureSaveOptions options;
    options.JpegQuality = jpegQuality;
    WriteFileAtomically(fileName, codec->Encode(bitmap, options, fileName));
}

}  // namespace tintavo
