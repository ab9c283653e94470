#include "ClassicalMetadataWriter.h"

namespace quarn_test {

ClassicalMetadataWriter::ClassicalMetadataWriter(std::uint16_t firstWord,
                                                 std::uint16_t secondWord) {
    u16(firstWord);
    u16(secondWord);
}

ClassicalMetadataWriter& ClassicalMetadataWriter::som() {
    return header("IMAGE::SOM", cm::U32, 0, {}, 10);
}

ClassicalMetadataWriter& ClassicalMetadataWriter::eom() {
    return header("IMAGE::EOM", cm::U32, 0, {}, 11);
}

ClassicalMetadataWriter& ClassicalMetadataWriter::emptyName(std::uint32_t tag) {
    u32(tag);
    return text("");
}

ClassicalMetadataWriter& ClassicalMetadataWriter::texts(std::string_view name,
                                                        const std::vector<std::string>& values,
                                                        const std::vector<std::uint32_t>& dims) {
    header(name, cm::TEXT, static_cast<std::uint32_t>(values.size()), dims);
    for (const std::string& value : values)
        text(value);
    return *this;
}

ClassicalMetadataWriter&
ClassicalMetadataWriter::header(std::string_view name, std::uint32_t typeCode, std::uint32_t count,
                                const std::vector<std::uint32_t>& dims, std::uint32_t tag) {
    return header(name, typeCode, count, static_cast<std::uint32_t>(dims.size()), dims, tag);
}

ClassicalMetadataWriter& ClassicalMetadataWriter::header(std::string_view name,
                                                         std::uint32_t typeCode,
                                                         std::uint32_t count, std::uint32_t numDims,
                                                         const std::vector<std::uint32_t>& dims,
                                                         std::uint32_t tag) {
    u32(tag);
    text(name);
    u32(typeCode);
    u32(count);
    u32(numDims);
    for (std::uint32_t dim : dims)
        u32(dim);
    return *this;
}

ClassicalMetadataWriter& ClassicalMetadataWriter::text(std::string_view value) {
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    bytes_.push_back(0);
    return *this;
}

ClassicalMetadataWriter& ClassicalMetadataWriter::raw(const std::vector<std::uint8_t>& values) {
    bytes_.insert(bytes_.end(), values.begin(), values.end());
    return *this;
}

} // namespace quarn_test
