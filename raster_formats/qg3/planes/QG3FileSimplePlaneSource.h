#pragma once
// The plane source of an image in a file: it chooses how the subblock position table is held
// (the memory model), builds the plane store by one scan of the planeset over a duplicate of the
// file stream, and makes store clients, each with a plane reader over a duplicate of its own.
//
// The memory model comes from the construction, unless "KV_QG3_MEMORY_MODEL" overrides it (a
// value beginning "partia" selects partial, "full" full, "default" automatic; others are
// ignored). Automatic chooses by the image's memory estimate: full below 256 MiB, else partial.
// Partial works only for pipe-order, data-first planesets with narrow section offsets; any
// other planeset is held in full. Clients read through small windows when
// "QG3_USE_STREAM_BUFFERS" is set (to any value).

#include "qg3/planes/QG3FilePlaneStore.h"
#include "qg3/planes/QG3PlaneSource.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3FilePlaneStoreClient;
class QG3FileSimpleContainer;
class QG3FileSimpleImageSource;

// The automatic memory model, chosen by the estimate.
inline constexpr std::uint32_t QG3_MEMORY_MODEL_AUTOMATIC = 4;
// Estimates from here up (fixed part included) choose the partial table.
inline constexpr std::uint64_t QG3_PARTIAL_MODEL_THRESHOLD = 0x10000000;

class QG3FileSimplePlaneSource : public QG3PlaneSource {
public:
    // memoryModel 2 full, 3 partial, 4 automatic. The image source must be open and outlive the
    // plane source.
    QG3FileSimplePlaneSource(QG3FileSimpleImageSource& imageSource, std::uint32_t memoryModel);
    ~QG3FileSimplePlaneSource() override;

    // Reads the planeset packet, chooses the memory model and builds the plane store:
    // KV_QG3_SEEK_FAILED when the file stream cannot be duplicated, KV_QG3_OUT_OF_MEMORY when out
    // of memory, else the statuses of the container and the scan.
    KVStatus initialize() override;
    // The memory model from the environment, the estimate and the planeset (above).
    KVStatus chooseMemoryModel();
    std::unique_ptr<QG3PlaneStoreClient> createPlaneStoreClient() override;
    // The same client with its stream access; null when the stream cannot be duplicated or
    // memory runs out.
    std::unique_ptr<QG3FilePlaneStoreClient> createFilePlaneStoreClient();

    std::uint32_t getMemoryModel() const { return memoryModel_; }
    QG3FileSimpleContainer& getFileContainer() const;
    // Null before initialize.
    QG3FilePlaneStore* getFilePlaneStore() const {
        return static_cast<QG3FilePlaneStore*>(store_.get());
    }

private:
    // The image source given at construction, as the file-backed kind it is.
    QG3FileSimpleImageSource& fileSource() const;

    std::uint32_t memoryModel_;
};

} // namespace Korvel
