#pragma once
// What a subblock decoder asks of a plane store: whether subblocks have data, and the plane
// records of one subblock.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class QG3ImageInfo;
class QG3PlaneStore;
struct QG3PlaneRecord;

class QG3PlaneStoreClient {
public:
    // The store is not owned and must outlive the client.
    explicit QG3PlaneStoreClient(QG3PlaneStore& store) : store_(&store) {}
    QG3PlaneStoreClient(const QG3PlaneStoreClient&) = delete;
    QG3PlaneStoreClient& operator=(const QG3PlaneStoreClient&) = delete;
    virtual ~QG3PlaneStoreClient() = default;

    // Whether any of the subblocks first..last (inclusive) of subband has data.
    virtual bool hasSubblocks(std::uint8_t subband, std::uint32_t first, std::uint32_t last) = 0;
    // Whether the decoder should drop its strip cache before a read; never for a file.
    virtual bool wantsStripCacheCleared() { return false; }
    // The plane records of one subblock, for the bands selected in the image information's band
    // set: QG3PlaneRecord::kRecordsPerBand records per selected band, band-major, record p of a
    // band holding bit plane p (weight 2^(31 - p)). A subblock without data leaves them all
    // empty (not filled) with status 0.
    virtual KVStatus readSubblock(std::uint8_t subband, std::uint32_t subblock,
                                  QG3PlaneRecord* records) = 0;

    const QG3ImageInfo& getImageInfo() const;

protected:
    QG3PlaneStore* store_;
};

} // namespace Korvel
