#pragma once
// The metadata packets of a container: which ones the file has, and their payloads.

#include "KVIOStreamInf.h"
#include "QG3List.h"
#include "QG3MetadataDesc.h"

#include <cstdint>
#include <unordered_set>

namespace Korvel {

class QG3Container;
class QG3ImageExtras;

class QG3MetadataSupport {
public:
    explicit QG3MetadataSupport(QG3Container* container) : container_(container) {}
    QG3MetadataSupport(const QG3MetadataSupport&) = delete;
    QG3MetadataSupport& operator=(const QG3MetadataSupport&) = delete;
    virtual ~QG3MetadataSupport() = default;

    // Lists the metadata packets of the container in file order; throws KVUtilException 8 when
    // the working list cannot be made.
    KVStatus initialize();
    bool hasMetadata(const QG3MetadataDesc& key) const;
    // Writes the payload of the packet for key to the stream: 2009 when absent, 2002 when short.
    KVStatus readMetadata(const QG3MetadataDesc& key, KVIOStreamInf* stream);
    // The image extras of an image; found is false, and the status 0, when it has none.
    KVStatus readImageExtras(std::uint32_t imageNumber, std::uint32_t colorSpaceCode,
                             QG3ImageExtras& extras, bool& found);

    const QG3List<QG3MetadataDesc>& getDescriptors() const { return descriptors_; }

private:
    struct KeyHash {
        std::size_t operator()(const QG3MetadataDesc& key) const;
    };

    QG3Container* container_;
    QG3List<QG3MetadataDesc> descriptors_;
    // The same keys, so that a look-up does not walk a long list.
    std::unordered_set<QG3MetadataDesc, KeyHash> keys_;
};

} // namespace Korvel
