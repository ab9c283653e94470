#include "metadata/KVIMetadataRecord.h"

#include "metadata/KVIMetadataTag.h"
#include "model/KVIDataType.h"
#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <cstring>

namespace Korvel {

namespace {

std::unique_ptr<char[]> copyText(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text);
    std::unique_ptr<char[]> copy(new char[length + 1]);
    std::memcpy(copy.get(), text, length + 1);
    return copy;
}

// Records are only made for tags of the table.
const char* tagNameOrThrow(std::uint32_t tag) {
    const char* name = getTagName(tag);
    if (name == nullptr) throw KVUtilException(KV_BAD_ARGUMENT);
    return name;
}

// The sample type behind a record's numeric code: the same codes up to the 32-bit integers, then
// floats at 9 and 10.
std::uint32_t recordSampleType(std::uint32_t dataType) {
    if (dataType <= KVI_RECORD_SINT32) return dataType;
    if (dataType == KVI_RECORD_FLOAT32) return KVI_DATATYPE_FLOAT32;
    if (dataType == KVI_RECORD_FLOAT64) return KVI_DATATYPE_FLOAT64;
    return KVI_DATATYPE_NONE;
}

} // namespace

std::uint32_t KVIMetadataRecord::getElementSize(std::uint32_t dataType) {
    // Texts are stored as pointers of eight bytes; the other codes are the sample types'.
    if (dataType == KVI_RECORD_TEXT) return 8;
    return getDataTypeSize(recordSampleType(dataType));
}

bool KVIMetadataRecord::getElementCount(std::uint32_t numDims, const std::uint32_t* dims,
                                        std::uint64_t& count) {
    std::uint64_t product = 1;
    if (dims != nullptr) {
        for (std::uint32_t i = 0; i < numDims; ++i) {
            if (__builtin_mul_overflow(product, static_cast<std::uint64_t>(dims[i]), &product))
                return false;
        }
    }
    count = product;
    return true;
}

KVIMetadataRecord::KVIMetadataRecord(const char* name, std::uint32_t dataType, const void* data,
                                     std::uint32_t numDims, const std::uint32_t* dims)
    : dataType_(dataType) {
    std::uint64_t count = 0;
    if (!getElementCount(numDims, dims, count)) throw KVUtilException(KV_OUT_OF_MEMORY);
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(count, static_cast<std::uint64_t>(getElementSize(dataType)),
                               &bytes) ||
        bytes > kMaxDataBytes)
        throw KVUtilException(KV_OUT_OF_MEMORY);
    count_ = count;
    kvThrowOutOfMemory([&] {
        if (name != nullptr) name_ = name;
        if (numDims == 0 || dims == nullptr)
            dims_.assign(1, 1);
        else
            dims_.assign(dims, dims + numDims);
        copyData(data);
    });
}

KVIMetadataRecord::KVIMetadataRecord(std::uint32_t tag, std::uint32_t dataType, const void* value)
    : KVIMetadataRecord(tagNameOrThrow(tag), dataType, value, 0, nullptr) {}

KVIMetadataRecord::KVIMetadataRecord(const KVIMetadataRecord& other)
    : dataType_(other.dataType_), count_(other.count_) {
    kvThrowOutOfMemory([&] {
        name_ = other.name_;
        dims_ = other.dims_;
        copyData(other.rawData());
    });
}

KVIMetadataRecord::~KVIMetadataRecord() = default;

// Fills the elements from data: count_ strings for text, else count_ x element size bytes.
void KVIMetadataRecord::copyData(const void* data) {
    const std::uint32_t elementSize = getElementSize(dataType_);
    if (elementSize == 0 || count_ == 0) return;
    if (dataType_ == KVI_RECORD_TEXT) {
        const auto* texts = static_cast<const char* const*>(data);
        strings_.resize(count_);
        textPointers_.assign(count_, nullptr);
        if (texts == nullptr) return;
        for (std::uint64_t i = 0; i < count_; ++i) {
            strings_[i] = copyText(texts[i]);
            textPointers_[i] = strings_[i].get();
        }
        return;
    }
    bytes_.assign(count_ * elementSize, 0);
    if (data != nullptr) std::memcpy(bytes_.data(), data, bytes_.size());
}

bool KVIMetadataRecord::isScalar() const {
    return dims_.size() == 1 && dims_[0] == 1;
}

bool KVIMetadataRecord::isVector() const {
    return dims_.size() == 1;
}

const void* KVIMetadataRecord::rawData() const {
    if (dataType_ == KVI_RECORD_TEXT) return textPointers_.empty() ? nullptr : textPointers_.data();
    return bytes_.empty() ? nullptr : bytes_.data();
}

const void* KVIMetadataRecord::getScalarData() const {
    return isScalar() ? rawData() : nullptr;
}

const void* KVIMetadataRecord::getVectorData(std::uint32_t& length) const {
    if (!isVector()) return nullptr;
    length = dims_[0];
    return rawData();
}

const void* KVIMetadataRecord::getArrayData(std::uint32_t& numDims,
                                            const std::uint32_t*& dims) const {
    numDims = static_cast<std::uint32_t>(dims_.size());
    dims = dims_.data();
    return rawData();
}

std::size_t KVIMetadataRecord::getDataSize() const {
    return static_cast<std::size_t>(count_ * getElementSize(dataType_));
}

} // namespace Korvel
