#pragma once
// Finds and opens the images of a Quarn raster file. open reads the file header and, for
// generations 3 and 4, the container's packet headers; each image's reader is made when it is
// asked for. An image whose number is the container's contents identifier is not counted among
// the images: it is the file's extra (overview) stage.

#include "stages/KVIImageStageManager.h"
#include "streams/KVIOStreamInf.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Korvel {

class QG3FileSimpleContainer;
class QuarnSingleImageReaderBase;

class QuarnImageStageManager : public KVIImageStageManager {
public:
    // Image kinds.
    static constexpr std::uint32_t KIND_QG2 = 1;
    static constexpr std::uint32_t KIND_QG3 = 2;
    static constexpr std::uint32_t KIND_QG4 = 3;

    struct Entry {
        std::uint32_t imageNumber = 0;
        std::uint32_t kind = 0;
        // Recorded when the image's reader is made.
        std::uint8_t numLevels = 0;
    };

    // Null when out of memory.
    static QuarnImageStageManager* create();

    // The stream stays the caller's and must outlive the manager; the readers that the manager
    // makes read through its container and must not outlive it either. KV_BAD_ARGUMENT
    // for no stream; KV_QRN_NOT_QUARN_FILE, KV_QRN_UNKNOWN_VERSION, KV_QRN_POINT_CLOUD_FILE for
    // the wrong kinds of file; the statuses of the stream and the container.
    KVStatus open(KVIOStreamInf* stream, std::uint32_t memoryUsage, std::uint32_t streamUsage);

    // A new reader of image index, owned by the caller: KV_BAD_ARGUMENT beyond the images.
    using KVIImageStageManager::getImageStage;
    KVStatus getImageStage(std::uint32_t index, KVIImageStage*& stage) override;
    // The reader of the extra image; null and KV_OK when the file has none.
    KVStatus getOverviewImageStage(KVIImageStage*& stage) override;

    // With automatic memory usage: estimates the memory of every image and chooses partial
    // usage for all of them when the total reaches 0x10000001 bytes.
    virtual KVStatus finishOpen();
    // Each makes and initialises the reader of an image, owned by the caller; null on failure.
    virtual KVStatus createQG2Reader(std::uint32_t imageNumber,
                                     QuarnSingleImageReaderBase*& reader);
    virtual KVStatus createQG3Reader(std::uint32_t imageNumber,
                                     QuarnSingleImageReaderBase*& reader);
    virtual KVStatus createQG4Reader(std::uint32_t imageNumber, const std::uint16_t* bands,
                                     std::uint32_t bandCount, QuarnSingleImageReaderBase*& reader);

    // Bytes 4 to 7 of the file.
    void getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2, std::uint8_t& b3) const;
    std::uint32_t getMemoryUsage() const { return memoryUsage_; }
    const std::vector<Entry>& getEntries() const { return entries_; }
    // The largest number of levels recorded over the images.
    std::uint8_t getMaxNumLevels() const;

protected:
    QuarnImageStageManager();
    ~QuarnImageStageManager() override;

private:
    KVStatus openContainer();
    KVStatus buildEntries();
    KVStatus createReader(Entry& entry, bool asQG4, KVIImageStage*& stage);

    KVIOStreamInf* stream_ = nullptr;
    std::uint32_t memoryUsage_ = 0;
    std::uint32_t streamUsage_ = 0;
    std::array<std::uint8_t, 4> version_{};
    std::unique_ptr<QG3FileSimpleContainer> container_;
    std::vector<Entry> entries_;
    std::optional<Entry> extra_;
};

} // namespace Korvel
