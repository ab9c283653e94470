#include "Metadata.h"

#include "BigEndian.h"
#include "BufferedIOReader.h"
#include "Error.h"

#include <cstring>
#include <memory>

namespace Korvel {

namespace {

const char* const ReadFunction = "Korvel::Metadata::read";

// Key, description and datatype are read as length-prefixed strings; each record takes at least
// its four fixed fields.
constexpr std::int64_t MinimumRecordBytes = 4 + 4 + 2 + 4;

struct Record {
    KORVEL_XALLOC_OPERATORS

    char* key = nullptr;
    char* description = nullptr;
    std::uint16_t datatype = 0;
    std::uint64_t count = 0;
    void* value = nullptr;

    ~Record() {
        XFREE(key);
        XFREE(description);
        XFREE(value);
    }
};

constexpr const char* kFile = "Metadata";

// A u32 length and that many bytes; null for length 0. A zero byte is added after the stored
// bytes so that texts without one still end. length gets the stored byte count.
char* loadChunk(BufferedIOReader& reader, const char* name, std::uint32_t& length) {
    if (!BigEndian::read(reader, length))
        KORVEL_FAIL(kFile, "loadChunk", ErrorCode::Metadata, "bad read -- %s length", name);
    if (length == 0) return nullptr;
    if (static_cast<std::int64_t>(length) > reader.remaining())
        KORVEL_FAIL(kFile, "loadChunk", ErrorCode::Metadata, "bad read -- %s data", name);
    char* block = static_cast<char*>(XALLOC(static_cast<std::size_t>(length) + 1));
    if (reader.read(block, length) != static_cast<std::int64_t>(length)) {
        XFREE(block);
        KORVEL_FAIL(kFile, "loadChunk", ErrorCode::Metadata, "bad read -- %s data", name);
    }
    block[length] = '\0';
    return block;
}

} // namespace

class Metadata::Imp {
public:
    KORVEL_XALLOC_OPERATORS

    ~Imp() {
        for (std::uint64_t i = 0; i < count; ++i)
            delete records[i];
        XFREE(records);
    }

    // Takes the record; grows the array by doubling.
    void append(Record* record) {
        if (count == capacity) {
            const std::uint64_t grown = capacity == 0 ? 8 : capacity * 2;
            Record** larger = static_cast<Record**>(XALLOC(grown * sizeof(Record*)));
            if (count > 0) std::memcpy(larger, records, count * sizeof(Record*));
            XFREE(records);
            records = larger;
            capacity = grown;
        }
        records[count++] = record;
    }

    const Record* find(const char* key) const {
        if (key == nullptr) return nullptr;
        for (std::uint64_t i = 0; i < count; ++i)
            if (records[i]->key != nullptr && std::strcmp(records[i]->key, key) == 0)
                return records[i];
        return nullptr;
    }

    Record** records = nullptr;
    std::uint64_t count = 0;
    std::uint64_t capacity = 0;
};

Metadata::Metadata() : imp_(new Imp) {}

Metadata::~Metadata() {
    delete imp_;
}

void Metadata::read(BufferedIOReader& reader) {
    std::uint32_t version = 0;
    if (!BigEndian::read(reader, version))
        KORVEL_FAIL(kFile, ReadFunction, ErrorCode::Metadata, "bad read -- version");
    if (version != 0) KORVEL_FAIL(kFile, ReadFunction, ErrorCode::Metadata, "unsupported version");
    std::uint32_t numRecords = 0;
    if (!BigEndian::read(reader, numRecords) ||
        static_cast<std::int64_t>(numRecords) > reader.remaining() / MinimumRecordBytes)
        KORVEL_FAIL(kFile, ReadFunction, ErrorCode::Metadata, "bad read -- numRecords");

    for (std::uint32_t i = 0; i < numRecords; ++i) {
        auto record = std::make_unique<Record>();
        std::uint32_t length = 0;
        record->key = loadChunk(reader, "key", length);
        record->description = loadChunk(reader, "description", length);
        if (!BigEndian::read(reader, record->datatype))
            KORVEL_FAIL(kFile, ReadFunction, ErrorCode::Metadata, "bad read -- datatype");
        record->value = loadChunk(reader, "value", length);
        record->count = length;
        if (record->datatype == Float64Array) {
            record->count = length / 8;
            unsigned char* bytes = static_cast<unsigned char*>(record->value);
            for (std::uint64_t k = 0; k < record->count; ++k) {
                const double number = BigEndian::decode<double>(bytes + 8 * k);
                std::memcpy(bytes + 8 * k, &number, 8);
            }
        }
        // An array of doubles too short for one value has no value: the record counts as
        // missing, so that no caller reads a value that is not there.
        if (record->datatype == Float64Array && record->count == 0) continue;
        imp_->append(record.get());
        record.release();
    }
}

bool Metadata::has(const char* key) const {
    return imp_->find(key) != nullptr;
}

bool Metadata::get(const char* key, const char** description, std::uint16_t* datatype,
                   const void** value, std::uint64_t* count) const {
    const Record* record = imp_->find(key);
    if (record == nullptr) return false;
    if (description != nullptr) *description = record->description;
    if (datatype != nullptr) *datatype = record->datatype;
    if (value != nullptr) *value = record->value;
    if (count != nullptr) *count = record->count;
    return true;
}

} // namespace Korvel
