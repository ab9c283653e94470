#pragma once
// Where the wavelet decoder of a generation-3/4 image gets its subband rows: the strip cache
// (SubbandStripTable, built at the first request) over the plane store client, with the image
// stage's interrupt delegate asked after each subblock decoded. It lives across the decoders of
// one image; the strip cache is cleared on request.

#include "SubbandRowSource.h"

#include <memory>

namespace Korvel {

class KVIInterruptDelegate;
class QG3PlaneStoreClient;
class SubbandStripTable;

class DecodeBase : public SubbandRowSource {
public:
    // info and client must outlive it; the delegate may be null.
    DecodeBase(const QG3ImageInfo& info, QG3PlaneStoreClient& client,
               KVIInterruptDelegate* interrupt);
    ~DecodeBase() override;
    DecodeBase(const DecodeBase&) = delete;
    DecodeBase& operator=(const DecodeBase&) = delete;

    const QG3ImageInfo& getImageInfo() const override { return info_; }
    std::uint16_t getSubblockSize() const override;
    // The selected bands.
    std::uint16_t getBandCount() const override;
    // KV_QG3_OUT_OF_MEMORY when the strip cache cannot be built.
    KVStatus getSubbandRow(std::int32_t** rowsPerBand, std::uint8_t subband, std::uint32_t row,
                           std::uint32_t firstColumn, std::uint32_t lastColumn) override;

    void setInterruptDelegate(KVIInterruptDelegate* interrupt) { interrupt_ = interrupt; }
    // Frees every strip; the next request decodes again.
    void clearStripCache();
    // Bytes the strip cache holds now.
    std::uint64_t getStripCacheMemory() const;

private:
    std::unique_ptr<SubbandStripTable> table_;
    const QG3ImageInfo& info_;
    QG3PlaneStoreClient& client_;
    KVIInterruptDelegate* interrupt_;
};

} // namespace Korvel
