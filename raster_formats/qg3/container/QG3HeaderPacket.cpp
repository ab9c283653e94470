#include "qg3/container/QG3HeaderPacket.h"

#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3Status.h"
#include "streams/KVIOBodyReader.h"
#include "support/KVStatusGuard.h"

#include <bit>
#include <tuple>
#include <vector>

namespace Korvel {

namespace {

constexpr std::uint64_t kValidFlags =
    QG3HeaderPacket::FLAG_NEW | QG3HeaderPacket::FLAG_ITEM_WORD | QG3HeaderPacket::FLAG_ITEM_VALUE |
    QG3HeaderPacket::FLAG_VALUE_WIDE | QG3HeaderPacket::FLAG_VALUE_NARROW |
    QG3HeaderPacket::FLAG_KEPT_7 | QG3HeaderPacket::FLAG_CROP | QG3HeaderPacket::FLAG_KEPT_16 |
    QG3HeaderPacket::FLAG_REFUSED | QG3HeaderPacket::FLAG_BAND_SCALE;

// The bytes of the fields every body has, from the flags to auxCodeC.
constexpr std::uint32_t kFixedBytes = 40;

// A field of the image information stored in Width bytes (known when compiled, so that each
// field's read is a load of that width).
template <typename T, unsigned Width> struct Field { T QG3ImageInfo::*member; };
template <unsigned Width, typename T> constexpr Field<T, Width> field(T QG3ImageInfo::*member) {
    return {member};
}
// The band count: written as the bands selected, read as that many bands, all selected.
struct BandCount {};
// The data type: a bit count in the old form (a packet with neither flag byte).
struct DataTypeCode {};

// The fields every body has after its flags, in the order of the body.
constexpr auto kFixedFields = std::make_tuple(
    field<4>(&QG3ImageInfo::width), field<4>(&QG3ImageInfo::height),
    field<1>(&QG3ImageInfo::numLevels), BandCount{}, field<1>(&QG3ImageInfo::estimateFactor),
    field<2>(&QG3ImageInfo::subblockSize), DataTypeCode{}, field<4>(&QG3ImageInfo::sampleMin),
    field<4>(&QG3ImageInfo::sampleMax), field<1>(&QG3ImageInfo::colorSpace),
    field<1>(&QG3ImageInfo::auxCodeA), field<1>(&QG3ImageInfo::colorTransform),
    field<4>(&QG3ImageInfo::auxCodeD), field<1>(&QG3ImageInfo::auxCodeB),
    field<1>(&QG3ImageInfo::auxCodeC));
// The crop window, after them when the flags have FLAG_CROP.
constexpr auto kCropFields =
    std::make_tuple(field<4>(&QG3ImageInfo::cropX0), field<4>(&QG3ImageInfo::cropY0),
                    field<4>(&QG3ImageInfo::cropX1), field<4>(&QG3ImageInfo::cropY1),
                    field<1>(&QG3ImageInfo::cropLevel));

// Reads the fields of one body into the record; oldForm: the packet has neither flag byte.
struct BodyReader {
    KVIOBodyReader& in;
    QG3ImageInfo& info;
    bool oldForm;

    template <unsigned Width> KVStatus readWidth(std::uint64_t& value) {
        std::uint8_t bytes[Width];
        KV_RETURN_IF_FAILED(in.read(bytes, Width));
        value = loadBE(bytes, Width);
        return KV_OK;
    }
    template <typename T, unsigned Width> KVStatus read(const Field<T, Width>& entry) {
        std::uint64_t value = 0;
        KV_RETURN_IF_FAILED(readWidth<Width>(value));
        info.*entry.member = static_cast<T>(value);
        return KV_OK;
    }
    KVStatus read(BandCount) {
        std::uint64_t bands = 0;
        KV_RETURN_IF_FAILED(readWidth<2>(bands));
        // An image without bands has nothing to decode and no pixel to describe.
        if (bands == 0) return KV_QG3_BAD_FORMAT;
        return info.bandSet.resizeAll(static_cast<std::uint16_t>(bands)) == KV_OK
                   ? KV_OK
                   : KV_QG3_OUT_OF_MEMORY;
    }
    KVStatus read(DataTypeCode) {
        std::uint64_t code = 0;
        KV_RETURN_IF_FAILED(readWidth<1>(code));
        const auto stored = static_cast<std::uint32_t>(code);
        info.dataType = oldForm ? dataTypeFromOldFormBitCount(stored) : stored;
        return KV_OK;
    }
    // The fields in order, up to the first that fails.
    template <typename... F> KVStatus readAll(const std::tuple<F...>& fields) {
        return std::apply(
            [&](const F&... field) {
                KVStatus status = KV_OK;
                static_cast<void>((((status = read(field)) == KV_OK) && ...));
                return status;
            },
            fields);
    }
};

// Appends the fields of a body to a byte buffer, big-endian.
struct BodyWriter {
    const QG3ImageInfo& info;
    bool oldForm;
    std::vector<std::uint8_t> bytes;

    void put(std::uint64_t value, unsigned width) {
        for (unsigned i = width; i-- > 0;)
            bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void putFloat(float value) { put(std::bit_cast<std::uint32_t>(value), 4); }
    template <typename T, unsigned Width> void write(const Field<T, Width>& entry) {
        put(static_cast<std::uint64_t>(info.*entry.member), Width);
    }
    void write(BandCount) { put(info.bandSet.getSetCount(), 2); }
    void write(DataTypeCode) {
        put(oldForm ? getOldFormBitCount(info.dataType) : info.dataType, 1);
    }
    template <typename... F> void writeAll(const std::tuple<F...>& fields) {
        std::apply([&](const F&... field) { (write(field), ...); }, fields);
    }
    bool writeTo(KVIOStreamInf* stream) const {
        return stream->write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) ==
               bytes.size();
    }
};

} // namespace

QG3HeaderPacket::QG3HeaderPacket(const DBObjectType& type) : QG3Packet(type) {}

QG3HeaderPacket::~QG3HeaderPacket() = default;

DBObject* QG3HeaderPacket::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    std::unique_ptr<QG3HeaderPacket> copy;
    const KVStatus status = kvGuard([&] {
        copy = std::make_unique<QG3HeaderPacket>(*type);
        if (info_) copy->info_.emplace(*info_);
    });
    if (status != KV_OK) return nullptr;
    copy->flags_ = flags_;
    copy->extra_ = extra_;
    return copy.release();
}

KVStatus QG3HeaderPacket::readBody(KVIOStreamInf* stream, std::int64_t length) {
    const QG3PacketType* type = getType();
    if (type == nullptr) return KV_QG3_NO_OBJECT;
    KVIOBodyReader in(stream, KVIOBodyReader::kHere, length, KV_QG3_READ_FAILED,
                      KV_QG3_SEEK_FAILED);
    // The fixed fields are taken in one read and parsed in memory: a body or stream that ends
    // inside them fails at the same field as a read field by field would.
    std::uint8_t fixed[kFixedBytes];
    KVIOBodyReader fixedIn(fixed, in.readSome(fixed, kFixedBytes), KV_QG3_READ_FAILED,
                           KV_QG3_SEEK_FAILED);
    std::uint64_t flags = 0;
    KV_RETURN_IF_FAILED(fixedIn.read(flags));
    flags_ = flags;
    if (flags & ~kValidFlags) return KV_QG3_BAD_FORMAT;

    // The packet owns the record from here, even when the rest of the read fails.
    QG3ImageInfo& info = info_.emplace();
    info.imageNumber = static_cast<std::int32_t>(type->imageNumber);
    const bool oldForm = type->flag1 == 0 && type->flag2 == 0;
    KV_RETURN_IF_FAILED((BodyReader{fixedIn, info, oldForm}.readAll(kFixedFields)));
    info.auxCountA = 0;
    info.auxCountB = 0;
    KV_RETURN_IF_FAILED(info.computeSubbands());

    if (flags & FLAG_CROP) {
        KV_RETURN_IF_FAILED((BodyReader{in, info, oldForm}.readAll(kCropFields)));
        info.isCropped = info.cropLevel != 0 || !info.isWholeWindow();
        if (!info.isCropWindowValid()) return KV_QG3_BAD_FORMAT;
    }

    info.hasItemWord = (flags & FLAG_ITEM_WORD) != 0;
    info.hasItemValue = (flags & FLAG_ITEM_VALUE) != 0;
    info.itemValueWidth = 0;
    if (info.hasItemValue) {
        const bool wide = flags & FLAG_VALUE_WIDE;
        const bool narrow = flags & FLAG_VALUE_NARROW;
        info.itemValueWidth = wide && narrow ? 4 : wide ? 2 : narrow ? 1 : 0;
    }

    if (flags & FLAG_REFUSED) return KV_QG3_BAD_FORMAT;
    extra_ = 0;

    if (flags & FLAG_BAND_SCALE) {
        const std::uint16_t bands = info.bandSet.getBitCount();
        if (!in.has(std::uint64_t(bands) * 8)) return KV_QG3_READ_FAILED;
        std::unique_ptr<float[]> scale;
        std::unique_ptr<float[]> offset;
        KV_RETURN_IF_FAILED(kvGuard(
            [&] {
                scale.reset(new float[bands]);
                offset.reset(new float[bands]);
            },
            KV_QG3_OUT_OF_MEMORY));
        for (std::uint16_t band = 0; band < bands; ++band) {
            KV_RETURN_IF_FAILED(in.readFloat(scale[band]));
            KV_RETURN_IF_FAILED(in.readFloat(offset[band]));
        }
        info.bandScale = std::move(scale);
        info.bandOffset = std::move(offset);
    }
    return KV_OK;
}

KVStatus QG3HeaderPacket::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    const QG3PacketType* type = getType();
    if (type == nullptr || !info_) return KV_QG3_NO_OBJECT;
    const QG3ImageInfo& info = *info_;

    flags_ &= ~(FLAG_ITEM_WORD | FLAG_ITEM_VALUE | FLAG_VALUE_WIDE | FLAG_VALUE_NARROW | FLAG_CROP |
                FLAG_BAND_SCALE);
    if (info.hasItemWord) flags_ |= FLAG_ITEM_WORD;
    if (info.hasItemValue) {
        flags_ |= FLAG_ITEM_VALUE;
        if (info.itemValueWidth == 2 || info.itemValueWidth == 4) flags_ |= FLAG_VALUE_WIDE;
        if (info.itemValueWidth == 1 || info.itemValueWidth == 4) flags_ |= FLAG_VALUE_NARROW;
    }
    if (info.isCropped) flags_ |= FLAG_CROP;
    if (info.bandScale && info.bandOffset) flags_ |= FLAG_BAND_SCALE;

    BodyWriter out{info, type->flag1 == 0 && type->flag2 == 0, {}};
    return kvGuard(
        [&] {
            out.put(flags_, 8);
            out.writeAll(kFixedFields);
            if (flags_ & FLAG_CROP) out.writeAll(kCropFields);
            if (flags_ & FLAG_REFUSED) return KV_QG3_NOT_SUPPORTED;
            if (flags_ & FLAG_BAND_SCALE) {
                // The pairs of the bands that are written, in band order.
                for (std::uint16_t band = 0; band < info.bandSet.getBitCount(); ++band) {
                    if (!info.bandSet.isSet(band)) continue;
                    out.putFloat(info.bandScale[band]);
                    out.putFloat(info.bandOffset[band]);
                }
            }
            return out.writeTo(stream) ? KV_OK : KV_QG3_WRITE_FAILED;
        },
        KV_QG3_OUT_OF_MEMORY);
}

bool QG3HeaderPacket::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3HeaderPacket*>(&other);
    if (o == nullptr || other.getPacketType() != QG3_PACKET_HEADER || extra_ != o->extra_ ||
        flags_ != o->flags_)
        return false;
    if (!info_ || !o->info_) return !info_ && !o->info_;
    return info_->isEqual(*o->info_);
}

} // namespace Korvel
