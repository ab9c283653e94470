#include "KernelChannelInfo.h"

#include "BaseChunkReader.h"
#include "DataType.h"
#include "Error.h"
#include "TransformUtils.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Korvel {

namespace {

// The magnitude of a 64-bit value as an unsigned number, exact for the most negative one too.
std::uint64_t magnitude(std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value);
    return value < 0 ? 0 - bits : bits;
}

} // namespace

KernelChannelInfo::KernelChannelInfo(const KernelChannelInfo& other) {
    *this = other;
}

KernelChannelInfo& KernelChannelInfo::operator=(const KernelChannelInfo& other) {
    if (this == &other) return *this;
    char* name = XSTRDUP(other.name_);
    XFREE(name_);
    name_ = name;
    datatype_ = other.datatype_;
    codedType_ = other.codedType_;
    transform_ = other.transform_;
    bits_ = other.bits_;
    subblockSize_ = other.subblockSize_;
    minimum_ = other.minimum_;
    maximum_ = other.maximum_;
    offset_ = other.offset_;
    scale_ = other.scale_;
    return *this;
}

KernelChannelInfo::~KernelChannelInfo() {
    XFREE(name_);
}

void KernelChannelInfo::load(BufferedIOReader& reader, std::int64_t end, std::uint32_t errorCode) {
    char name[NameBytes + 1] = {};
    if (end - reader.tell() < static_cast<std::int64_t>(NameBytes) ||
        reader.read(name, NameBytes) != static_cast<std::int64_t>(NameBytes))
        KORVEL_FAIL("ChannelInfo", "Korvel::KernelChannelInfo::load", errorCode,
                    "bad read -- channel info");
    std::uint16_t datatype = 0;
    std::uint8_t transform = 0;
    std::uint32_t subblockSize = 0;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    if (!BaseChunkReader::readWithin(reader, end, datatype) ||
        !BaseChunkReader::readWithin(reader, end, transform) ||
        !BaseChunkReader::readWithin(reader, end, subblockSize) ||
        !BaseChunkReader::readWithin(reader, end, minimum) ||
        !BaseChunkReader::readWithin(reader, end, maximum))
        KORVEL_FAIL("ChannelInfo", "Korvel::KernelChannelInfo::load", errorCode,
                    "bad read -- channel info");

    std::uint32_t codedType = datatype;
    std::uint32_t bits = 0;
    if (TransformUtils::isFloatingPoint(transform)) {
        bits = 8 * datatypeSize(datatype);
    } else {
        // The largest of |minimum|, maximum - minimum and |maximum|, as unsigned magnitudes so
        // that values at the 64-bit extremes neither overflow nor turn negative.
        const std::uint64_t range = maximum >= minimum ? static_cast<std::uint64_t>(maximum) -
                                                             static_cast<std::uint64_t>(minimum)
                                                       : 0;
        const std::uint64_t m = std::max({magnitude(minimum), range, magnitude(maximum)});
        bits = static_cast<std::uint32_t>(std::bit_width(m));
        const std::uint32_t total = bits + TransformUtils::getHeadroom(transform);
        codedType = total < 16 ? DATATYPE_SINT16 : total < 32 ? DATATYPE_SINT32 : DATATYPE_SINT64;
    }

    double offset = 0.0;
    double scale = 1.0;
    if (datatypeIsFloat(datatype) != datatypeIsFloat(codedType)) {
        if (!BaseChunkReader::readWithin(reader, end, offset) ||
            !BaseChunkReader::readWithin(reader, end, scale))
            KORVEL_FAIL("ChannelInfo", "Korvel::KernelChannelInfo::load", errorCode,
                        "bad read -- channel info");
    }

    char* copy = XSTRDUP(name);
    XFREE(name_);
    name_ = copy;
    datatype_ = datatype;
    codedType_ = codedType;
    transform_ = transform;
    bits_ = bits;
    subblockSize_ = subblockSize;
    minimum_ = minimum;
    maximum_ = maximum;
    offset_ = offset;
    scale_ = scale;
}

} // namespace Korvel
