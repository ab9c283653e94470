#pragma once
// A plane store client over a file: finds subblocks in a QG3FilePlaneStore and reads them with
// its own plane reader (and that reader's own stream), so that several clients can read one
// store.

#include "qg3/planes/QG3PlaneStoreClient.h"

#include <memory>

namespace Korvel {

class QG3FilePlaneReader;
class QG3FilePlaneStore;

class QG3FilePlaneStoreClient : public QG3PlaneStoreClient {
public:
    // The store must be initialised and outlive the client; the reader is owned.
    QG3FilePlaneStoreClient(QG3FilePlaneStore& store, std::unique_ptr<QG3FilePlaneReader> reader);
    ~QG3FilePlaneStoreClient() override;

    // Finds first..last in order with any band and plane. A subblock whose search fails (a read
    // error of the partial table's walk) counts as having data, so that its read reports the
    // failure.
    bool hasSubblocks(std::uint8_t subband, std::uint32_t first, std::uint32_t last) override;
    // Records: QG3PlaneRecord::kRecordsPerBand x getImageInfo().bandSet.getSetCount(). Opens the
    // reader's stream when it is not open.
    KVStatus readSubblock(std::uint8_t subband, std::uint32_t subblock,
                          QG3PlaneRecord* records) override;

    // Stream access around a series of reads: open when not open; close unless kept open.
    KVStatus openStream();
    KVStatus closeStream();

private:
    QG3FilePlaneStore& fileStore();

    std::unique_ptr<QG3FilePlaneReader> reader_;
};

} // namespace Korvel
