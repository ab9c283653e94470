#pragma once
// The plane store of an image in a file: one scan of the planeset through a plane reader fills a
// subblock position table, full or partial by the memory model; afterwards a subblock's items
// are found in the table and read by a plane reader into plane records.
//
// Typical use (the plane source): store(info, model); store.initialize(*scanReader); then one
// QG3FilePlaneStoreClient per decoder, each with its own reader.

#include "qg3/planes/QG3MSPTable.h"
#include "qg3/planes/QG3PlaneStore.h"
#include "qg3/planes/QG3SubblockKey.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3BandSet;
class QG3FilePlaneReader;
struct QG3PlaneRecord;

// Memory models of the position table.
inline constexpr std::uint32_t QG3_MEMORY_MODEL_FULL = 2;
inline constexpr std::uint32_t QG3_MEMORY_MODEL_PARTIAL = 3;

class QG3FilePlaneStore : public QG3PlaneStore {
public:
    // memoryModel 2 full, 3 partial; the table never holds more than memoryCap bytes.
    QG3FilePlaneStore(const QG3ImageInfo& info, std::uint32_t memoryModel,
                      std::uint64_t memoryCap = QG3_MSP_TABLE_MEMORY_CAP);
    ~QG3FilePlaneStore() override;

    // Makes the table and fills it by one scan of the planeset from its plane data's start,
    // opening the reader's stream for it and closing it again unless kept open.
    // KV_QG3_NOT_AVAILABLE for another memory model, KV_QG3_OUT_OF_MEMORY when out of memory, else
    // the scan's status (checkPlaneset's KV_QG3_BAD_FORMAT first).
    KVStatus initialize(QG3FilePlaneReader& reader);
    // From the reader's scan, for every item with data: the first item of each subblock goes to
    // the table.
    KVStatus insert(const QG3SubblockKey& key, const QG3SubblockPosition& position);
    KVStatus find(const QG3SubblockKey& key, QG3FilePlaneReader& reader, bool& found,
                  QG3SubblockKey& at, QG3SubblockPosition& position);
    // Empties the kRecordsPerBand x (selected bands) records of the request (band-major, see
    // QG3PlaneRecord), then, when key's subblock is found, reads its items into them.
    KVStatus readSubblock(const QG3SubblockKey& key, const QG3BandSet& bands,
                          QG3FilePlaneReader& reader, bool& found, QG3PlaneRecord* records);

    // Bytes held by the position table (0 before initialize).
    std::uint64_t getTableMemory() const { return table_ ? table_->getMemory() : 0; }

private:
    std::unique_ptr<QG3MSPTable> table_;
    std::unique_ptr<std::uint32_t[]> counts_; // subblocks per subband
    QG3SubblockKey last_;                     // last key inserted
    bool lastValid_ = false;
    std::uint32_t memoryModel_;
    std::uint64_t memoryCap_;
};

} // namespace Korvel
