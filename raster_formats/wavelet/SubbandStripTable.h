#pragma once
// The strip cache of the wavelet decoder: per subband one strip of decoded coefficients, one row
// of subblocks over the columns last asked for. A row in the strip is handed out as it stands;
// any other row moves the strip to that row's subblocks, which are read through the plane store
// client and decoded (straight into the strip when a subblock lies wholly inside its columns,
// through a scratch block otherwise). With every band selected and a colour-transform code, the
// finished strip is colour transformed in place, in the coefficient domain.
//
// Memory is one row of subblocks per subband for the columns asked for, plus one subblock of
// scratch; the whole is held under kMaxBytes.

#include "KVStatus.h"
#include "SubbandStrip.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class BandBufferSet;
class KVIInterruptDelegate;
class QG3ImageInfo;
class QG3PlaneStoreClient;
struct QG3PlaneRecord;

class SubbandStripTable {
public:
    // The most the strips, the scratch block and the plane records may hold together; a decode
    // that needs more fails with 2012.
    static constexpr std::uint64_t kMaxBytes = std::uint64_t(512) << 20;

    // Over an image whose subband table is built; null when out of memory. info must outlive it.
    static std::unique_ptr<SubbandStripTable> create(const QG3ImageInfo& info);
    ~SubbandStripTable();
    SubbandStripTable(const SubbandStripTable&) = delete;
    SubbandStripTable& operator=(const SubbandStripTable&) = delete;

    // Points rows[b] at column x0 of row `row` of subband `subband` for every selected band,
    // filling the subband's strip when it does not hold that row over x0..x1. The pointers stay
    // valid until the subband's strip moves or the table is cleared. 2009 for a row or columns
    // outside the subband; statuses of the client, the subblock decoder and the interrupt
    // delegate (asked after each subblock) are passed up, and the strip is then dropped.
    KVStatus getRow(std::int32_t** rows, std::uint8_t subband, std::uint32_t row, std::uint32_t x0,
                    std::uint32_t x1, QG3PlaneStoreClient& client, KVIInterruptDelegate* interrupt);
    // Frees every strip.
    void clear();
    // Bytes held by strips, scratch and records now.
    std::uint64_t getMemory() const;

private:
    explicit SubbandStripTable(const QG3ImageInfo& info);

    KVStatus fill(SubbandStrip& strip, std::uint8_t subband, QG3PlaneStoreClient& client,
                  KVIInterruptDelegate* interrupt);
    KVStatus decodeSubblock(SubbandStrip& strip, std::uint8_t subband, std::uint32_t subblock,
                            QG3PlaneStoreClient& client);
    // A row of zeros at least width samples long; rows handed out earlier stay valid.
    const std::int32_t* zeroRow(std::size_t width);
    // Whether `more` bytes may be added to what the table holds.
    bool fits(std::uint64_t more) const;

    const QG3ImageInfo& info_;
    std::uint16_t subblockSize_;
    std::uint16_t bands_; // selected bands
    std::vector<std::unique_ptr<SubbandStrip>> strips_;
    std::unique_ptr<BandBufferSet> colour_;
    std::unique_ptr<QG3PlaneRecord[]> records_;
    std::unique_ptr<std::int32_t[]> scratch_;
    std::size_t scratchCapacity_ = 0;
    std::vector<std::unique_ptr<std::int32_t[]>> zeroRows_;
    std::size_t zeroWidth_ = 0;
    std::uint64_t held_ = 0; // bytes of strip blocks, scratch and zero rows
    std::vector<std::int32_t*> outputs_;
};

} // namespace Korvel
