#include "DecodeBase.h"

#include "SubbandStripTable.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"

namespace Korvel {

DecodeBase::DecodeBase(const QG3ImageInfo& info, QG3PlaneStoreClient& client,
                       KVIInterruptDelegate* interrupt)
    : info_(info), client_(client), interrupt_(interrupt) {}

DecodeBase::~DecodeBase() = default;

std::uint16_t DecodeBase::getSubblockSize() const {
    return info_.subblockSize;
}

std::uint16_t DecodeBase::getBandCount() const {
    return info_.bandSet.getSetCount();
}

KVStatus DecodeBase::getSubbandRow(std::int32_t** rowsPerBand, std::uint8_t subband,
                                   std::uint32_t row, std::uint32_t firstColumn,
                                   std::uint32_t lastColumn) {
    if (subband >= info_.numSubbands) return KV_OK;
    if (!table_) {
        table_ = SubbandStripTable::create(info_);
        if (!table_) return KV_QG3_OUT_OF_MEMORY;
    }
    return table_->getRow(rowsPerBand, subband, row, firstColumn, lastColumn, client_, interrupt_);
}

void DecodeBase::clearStripCache() {
    if (table_) table_->clear();
}

std::uint64_t DecodeBase::getStripCacheMemory() const {
    return table_ ? table_->getMemory() : 0;
}

} // namespace Korvel
