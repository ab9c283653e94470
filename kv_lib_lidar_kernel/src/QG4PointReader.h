#pragma once
// The point reader of generation-4 LiDAR files. init reads the file header and every chunk
// header, the wavelet header, the index header and the WKT and class names; the metadata body is
// read on request and the subband data only by iterators.

#include "IO.h"
#include "PointReader.h"

#include <cstdint>

namespace Korvel {

class WaveletDecoderInfo;

class QG4PointReader : public PointReader {
public:
    // A new empty reader with one reference.
    static QG4PointReader* create();

    // Opens the file; throws Korvel::Error for a bad or unsupported one. Called once per reader.
    void init(IO* io);

    // Appends the file's metadata records; nothing when the metadata chunk is empty.
    void loadMetadata(Metadata& metadata) override;
    std::uint64_t getNumClassNames() const override { return classNameCount_; }
    const char* const* getClassNames() const override { return classNames_; }
    double getNumPointsInQuery(const double* bounds, double fraction) const override;
    PointIterator* createIterator(const double* bounds, double fraction, const PointInfo& pointInfo,
                                  ProgressDelegate* delegate) override;
    // "QG4 <major>.<minor>.<third>.<fourth>" after init.
    const char* getVersionString() const override { return versionText_; }

    const WaveletDecoderInfo* getDecoderInfo() const { return decoderInfo_; }

protected:
    QG4PointReader() = default;
    ~QG4PointReader() override;

private:
    char versionText_[32] = {};
    WaveletDecoderInfo* decoderInfo_ = nullptr;
    IO::Location metadataLocation_;
    char** classNames_ = nullptr;
    std::uint64_t classNameCount_ = 0;
    bool initCalled_ = false;
};

} // namespace Korvel
