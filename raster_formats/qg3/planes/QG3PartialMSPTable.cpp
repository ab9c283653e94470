#include "qg3/planes/QG3PartialMSPTable.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3FilePlaneReader.h"
#include "qg3/planes/QG3PartialFindCache.h"
#include "support/KVStatusGuard.h"

#include <cstring>

namespace Korvel {

QG3PartialMSPTable::QG3PartialMSPTable(const QG3ImageInfo& info, std::uint64_t memoryCap)
    : QG3MSPTable(info, memoryCap), sets_(info.numSubbands) {}

QG3PartialMSPTable::~QG3PartialMSPTable() = default;

KVStatus QG3PartialMSPTable::insert(const QG3SubblockKey& key,
                                    const QG3SubblockPosition& position) {
    const std::uint32_t s = key.subband;
    if (s >= sets_.size()) return KV_OK;
    const QG3Subband& subband = info_->subbands[s];
    if (subband.columns == 0 || key.subblock >= subband.subblockCount()) return KV_OK;
    std::unique_ptr<RowSet>& set = sets_[s];
    if (!set) {
        if (!reserve(sizeof(RowSet) + std::uint64_t(subband.rows) * sizeof(void*)))
            return KV_QG3_OUT_OF_MEMORY;
        KV_RETURN_IF_FAILED(kvGuard(
            [&] {
                auto made = std::make_unique<RowSet>();
                made->rows = std::make_unique<std::unique_ptr<Row>[]>(subband.rows);
                set = std::move(made);
            },
            KV_QG3_OUT_OF_MEMORY));
    }
    const std::uint32_t row = key.subblock / subband.columns;
    const std::uint32_t column = key.subblock % subband.columns;
    std::unique_ptr<Row>& record = set->rows[row];
    if (!record) {
        const std::uint32_t bytes = (subband.columns + 7u) / 8u;
        if (!reserve(sizeof(Row) + bytes)) return KV_QG3_OUT_OF_MEMORY;
        KV_RETURN_IF_FAILED(kvGuard(
            [&] {
                record.reset(new Row{position.first, position.second,
                                     static_cast<std::uint16_t>(column), key.band, key.plane,
                                     std::make_unique<std::uint8_t[]>(bytes)});
            },
            KV_QG3_OUT_OF_MEMORY));
    }
    record->bitmap[column / 8] =
        static_cast<std::uint8_t>(record->bitmap[column / 8] | (1u << (column % 8)));
    return KV_OK;
}

KVStatus QG3PartialMSPTable::find(const QG3SubblockKey& key, QG3FilePlaneReader& reader,
                                  bool& found, QG3SubblockKey& at, QG3SubblockPosition& position) {
    found = false;
    QG3PartialFindCache* cache = reader.getFindCache();
    if (cache == nullptr) return KV_QG3_OUT_OF_MEMORY;
    const std::uint32_t s = key.subband;
    if (s >= sets_.size() || !sets_[s]) return KV_OK;
    const QG3Subband& subband = info_->subbands[s];
    if (key.subblock >= subband.subblockCount()) return KV_OK;
    const auto row = static_cast<std::uint16_t>(key.subblock / subband.columns);
    const auto column = static_cast<std::uint16_t>(key.subblock % subband.columns);
    const Row* record = sets_[s]->rows[row].get();
    if (record == nullptr || !((record->bitmap[column / 8] >> (column % 8)) & 1u)) return KV_OK;

    // Walk from the row's first subblock with data, or from the last walk's end when that lies
    // in this row and not beyond the column.
    QG3SubblockKey candidate{std::uint32_t(row) * subband.columns + record->column, record->band,
                             key.subband, record->plane};
    QG3SubblockPosition from{record->first, record->second};
    if (cache->valid && cache->key.subband == key.subband && cache->row == row &&
        cache->column <= column) {
        candidate = cache->key;
        from = cache->position;
    }
    if (candidate.subblock == key.subblock) {
        found = true;
        at = candidate;
        position = from;
        return KV_OK;
    }

    QG3SubblockKey reached;
    QG3SubblockPosition reachedAt;
    KV_RETURN_IF_FAILED(reader.scanTo(candidate, from, key.subblock, reached, reachedAt));
    if (reachedAt.first == 0 && reachedAt.second == 0) return KV_OK;
    cache->valid = true;
    cache->key = reached;
    cache->position = reachedAt;
    cache->row = row;
    cache->column = static_cast<std::uint16_t>(reached.subblock % subband.columns);
    if (reached.subblock != key.subblock || reached.band > key.band ||
        (reached.band == key.band && reached.plane > key.plane))
        return KV_OK;
    found = true;
    at = reached;
    position = reachedAt;
    return KV_OK;
}

} // namespace Korvel
