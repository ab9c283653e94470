#include "metadata/KVIMetadataClassicalReader.h"

#include "metadata/KVIMetadataDatabase.h"
#include "metadata/KVIMetadataRecord.h"
#include "support/KVBigEndian.h"
#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Korvel {

namespace {

constexpr KVStatus kInvalid = KV_CLASSICAL_METADATA_SHORT;
// Texts grow in whole steps of this many bytes.
constexpr std::size_t kTextStep = 512;
// Element data is read through a buffer of this size, so that what is kept grows only with the
// bytes that actually arrive, whatever the count claims.
constexpr std::uint32_t kChunkBytes = 4096;

// Reads one zero-terminated text byte by byte. With a destination the bytes, then the zero, are
// appended to it (its room grows in whole 512-byte steps, doubling the number of steps so that
// long texts cost linear time); without one they are skipped. False on a short read.
bool readText(KVIOStreamInf* stream, std::vector<char>* text) {
    for (;;) {
        std::uint8_t byte = 0;
        if (!readExact(stream, &byte, 1)) return false;
        if (text != nullptr) {
            if (text->size() == text->capacity()) {
                const std::size_t doubled = text->capacity() * 2;
                text->reserve(
                    std::max(kTextStep, (doubled + kTextStep - 1) / kTextStep * kTextStep));
            }
            text->push_back(static_cast<char>(byte));
        }
        if (byte == 0) return true;
    }
}

// Reads count elements of elementSize bytes, keeping the first keep of them in host byte order.
bool readElements(KVIOStreamInf* stream, std::uint32_t count, std::uint32_t elementSize,
                  std::uint64_t keep, std::vector<std::uint8_t>& kept) {
    std::uint64_t remaining = static_cast<std::uint64_t>(count) * elementSize;
    const std::uint64_t keepBytes = std::min<std::uint64_t>(keep, count) * elementSize;
    std::uint8_t chunk[kChunkBytes];
    while (remaining > 0) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, kChunkBytes));
        if (!readExact(stream, chunk, n)) return false;
        if (kept.size() < keepBytes) {
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, keepBytes - kept.size()));
            kept.insert(kept.end(), chunk, chunk + take);
        }
        remaining -= n;
    }
    // 2-, 4- and 8-byte values are big-endian in the block.
    if constexpr (std::endian::native == std::endian::little) {
        if (elementSize > 1) {
            for (std::size_t at = 0; at + elementSize <= kept.size(); at += elementSize)
                std::reverse(kept.begin() + static_cast<std::ptrdiff_t>(at),
                             kept.begin() + static_cast<std::ptrdiff_t>(at + elementSize));
        }
    }
    return true;
}

// Reads count zero-terminated texts, keeping the first keep of them one after the other in blob
// and their start offsets in starts.
bool readTexts(KVIOStreamInf* stream, std::uint32_t count, std::uint64_t keep,
               std::vector<char>& blob, std::vector<std::size_t>& starts) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i < keep) {
            starts.push_back(blob.size());
            if (!readText(stream, &blob)) return false;
        } else if (!readText(stream, nullptr)) {
            return false;
        }
    }
    return true;
}

// The records of a block in the order the database is to get them: a name read again takes the
// place of its earlier record, at the end, as a removal and an addition would. They are kept
// apart from the database until the block ends, so that a block of many records, names repeated
// or not, costs no walk of the database's list per record.
class StagedRecords {
public:
    void put(std::unique_ptr<KVIMetadataRecord> record) {
        if (const auto it = at_.find(record->getName()); it != at_.end()) {
            const std::size_t earlier = it->second;
            at_.erase(it);
            records_[earlier].reset();
        }
        records_.push_back(std::move(record));
        at_.emplace(records_.back()->getName(), records_.size() - 1);
    }

    // Each record replaces any of its name in the database; the first failing status ends it.
    KVStatus commitTo(KVIMetadataDatabase& database) const {
        for (const auto& record : records_) {
            if (record == nullptr) continue;
            if (database.has(record->getName())) {
                const KVStatus removed = database.remove(record->getName());
                if (removed != KV_OK) return removed;
            }
            const KVStatus added = database.add(*record);
            if (added != KV_OK) return added;
        }
        return KV_OK;
    }

private:
    std::vector<std::unique_ptr<KVIMetadataRecord>> records_; // null where a name was read again
    std::unordered_map<std::string_view, std::size_t> at_;
};

// Reads the block's records into staged, up to its end or the first failure.
KVStatus readBlock(KVIOStreamInf* stream, StagedRecords& staged) {
    return kvGuard([&] {
        std::uint16_t firstWord = 0;
        std::uint16_t secondWord = 0;
        if (!readBE(stream, firstWord) || !readBE(stream, secondWord)) return kInvalid;
        if (static_cast<std::int16_t>(firstWord) > 1) return kInvalid;

        std::vector<char> name;
        std::vector<std::uint8_t> data;
        std::vector<char> textBlob;
        std::vector<std::size_t> textStarts;
        std::vector<const char*> texts;
        for (;;) {
            std::uint32_t tag = 0;
            name.clear();
            if (!readBE(stream, tag) || !readText(stream, &name)) return kInvalid;
            if (name.size() == 1) return KV_OK; // only the zero: an empty name ends the block

            std::uint32_t blockCode = 0;
            std::uint32_t count = 0;
            std::uint32_t numDims = 0;
            if (!readBE(stream, blockCode) || !readBE(stream, count) || !readBE(stream, numDims))
                return kInvalid;
            const std::uint32_t recordType = KVIMetadataClassicalReader::recordTypeOf(blockCode);
            if (recordType == 0 || numDims > KVIMetadataClassicalReader::kMaxDimensions)
                return kInvalid;
            std::uint32_t dims[KVIMetadataClassicalReader::kMaxDimensions] = {};
            for (std::uint32_t d = 0; d < numDims; ++d)
                if (!readBE(stream, dims[d])) return kInvalid;

            const bool isEnd = std::strcmp(name.data(), "IMAGE::EOM") == 0;
            const bool store = !isEnd && std::strcmp(name.data(), "IMAGE::SOM") != 0;
            const std::uint32_t elementSize = KVIMetadataRecord::getElementSize(recordType);

            // The record takes the product of its dimensions in elements; a product beyond the
            // count (or beyond what a record may hold) is invalid, before anything is allocated.
            std::uint64_t keep = 0;
            if (store) {
                if (!KVIMetadataRecord::getElementCount(numDims, dims, keep) || keep > count ||
                    keep * elementSize > KVIMetadataRecord::kMaxDataBytes)
                    return kInvalid;
            }

            data.clear();
            textBlob.clear();
            textStarts.clear();
            texts.clear();
            const void* elements = nullptr;
            if (recordType == KVI_RECORD_TEXT) {
                if (!readTexts(stream, count, keep, textBlob, textStarts)) return kInvalid;
                texts.reserve(textStarts.size());
                for (std::size_t start : textStarts)
                    texts.push_back(textBlob.data() + start);
                elements = texts.data();
            } else {
                if (!readElements(stream, count, elementSize, keep, data)) return kInvalid;
                elements = data.data();
            }

            if (store)
                staged.put(std::make_unique<KVIMetadataRecord>(name.data(), recordType, elements,
                                                               numDims, dims));
            if (isEnd) return KV_OK;
        }
    });
}

} // namespace

KVIMetadataClassicalReader::~KVIMetadataClassicalReader() = default;

std::uint32_t KVIMetadataClassicalReader::recordTypeOf(std::uint32_t blockCode) {
    switch (blockCode) {
    case 1:
        return KVI_RECORD_UINT8;
    case 2:
        return KVI_RECORD_UINT16;
    case 3:
        return KVI_RECORD_UINT32;
    case 5:
        return KVI_RECORD_TEXT;
    case 6:
        return KVI_RECORD_FLOAT32;
    case 7:
        return KVI_RECORD_FLOAT64;
    case 8:
        return KVI_RECORD_SINT8;
    case 9:
        return KVI_RECORD_SINT16;
    case 10:
        return KVI_RECORD_SINT32;
    default:
        return 0;
    }
}

KVStatus KVIMetadataClassicalReader::read() {
    if (stream_ == nullptr) return kInvalid;
    StagedRecords staged;
    const KVStatus status = readBlock(stream_, staged);
    // Records read before a failure stay in the database.
    const KVStatus committed = staged.commitTo(database_);
    return committed != KV_OK ? committed : status;
}

} // namespace Korvel
