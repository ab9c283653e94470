#pragma once
// One named, typed, multi-dimensional metadata value. A scalar has one dimension of extent 1; a
// vector has exactly one dimension. Text records hold one string pointer per element.

#include "support/KVStatus.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Korvel {

// Record data types. Codes 7 and 8 are not used and, like unknown codes, have no elements.
inline constexpr std::uint32_t KVI_RECORD_UINT8 = 1;
inline constexpr std::uint32_t KVI_RECORD_SINT8 = 2;
inline constexpr std::uint32_t KVI_RECORD_UINT16 = 3;
inline constexpr std::uint32_t KVI_RECORD_SINT16 = 4;
inline constexpr std::uint32_t KVI_RECORD_UINT32 = 5;
inline constexpr std::uint32_t KVI_RECORD_SINT32 = 6;
inline constexpr std::uint32_t KVI_RECORD_FLOAT32 = 9;
inline constexpr std::uint32_t KVI_RECORD_FLOAT64 = 10;
inline constexpr std::uint32_t KVI_RECORD_TEXT = 11;

class KVIMetadataRecord {
public:
    // Copies name, dimensions and data (for text, data is an array of strings, each copied; null
    // strings stay null). No dimensions make a scalar; null data gives zeroed elements. Throws
    // KVUtilException: KV_OUT_OF_MEMORY when the data cannot be held (including a size whose
    // product overflows or passes the cap).
    KVIMetadataRecord(const char* name, std::uint32_t dataType, const void* data,
                      std::uint32_t numDims, const std::uint32_t* dims);
    // A scalar named after the tag; an unknown tag throws KVUtilException with KV_BAD_ARGUMENT.
    KVIMetadataRecord(std::uint32_t tag, std::uint32_t dataType, const void* value);
    KVIMetadataRecord(const KVIMetadataRecord& other);
    KVIMetadataRecord& operator=(const KVIMetadataRecord&) = delete;
    ~KVIMetadataRecord();

    const char* getName() const { return name_.c_str(); }
    std::uint32_t getDataType() const { return dataType_; }
    bool isScalar() const;
    bool isVector() const;
    // Null unless a scalar.
    const void* getScalarData() const;
    // Null unless a vector; length is the one extent.
    const void* getVectorData(std::uint32_t& length) const;
    const void* getArrayData(std::uint32_t& numDims, const std::uint32_t*& dims) const;
    std::size_t getDataSize() const;
    std::uint64_t getElementCount() const { return count_; }

    // Bytes of one element of a record data type (8 for a text element); 0 for unknown codes.
    static std::uint32_t getElementSize(std::uint32_t dataType);
    // Product of the dimensions (1 for none), or false when it would overflow 64 bits.
    static bool getElementCount(std::uint32_t numDims, const std::uint32_t* dims,
                                std::uint64_t& count);
    // Records above this many bytes of data are refused.
    static constexpr std::uint64_t kMaxDataBytes = 0x7FFFFFFF;

private:
    void copyData(const void* data);
    const void* rawData() const;

    std::string name_;
    std::uint32_t dataType_;
    std::vector<std::uint32_t> dims_;
    std::uint64_t count_ = 0;
    std::vector<std::uint8_t> bytes_;              // numeric data
    std::vector<std::unique_ptr<char[]>> strings_; // owned texts
    std::vector<char*> textPointers_;              // the text data as handed out
};

} // namespace Korvel
