#include "qg3/container/QG3HeaderPacket.h"

#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3Status.h"
#include "streams/KVIOBodyReader.h"
#include "support/KVStatusGuard.h"

#include <bit>
#include <vector>

namespace Korvel {

namespace {

constexpr std::uint64_t kValidFlags =
    QG3HeaderPacket::FLAG_NEW | QG3HeaderPacket::FLAG_ITEM_WORD | QG3HeaderPacket::FLAG_ITEM_VALUE |
    QG3HeaderPacket::FLAG_VALUE_WIDE | QG3HeaderPacket::FLAG_VALUE_NARROW |
    QG3HeaderPacket::FLAG_KEPT_7 | QG3HeaderPacket::FLAG_CROP | QG3HeaderPacket::FLAG_KEPT_16 |
    QG3HeaderPacket::FLAG_REFUSED | QG3HeaderPacket::FLAG_BAND_SCALE;

// Big-endian fields appended to a byte buffer.
class FieldWriter {
public:
    void put(std::uint64_t value, unsigned width) {
        for (unsigned i = width; i-- > 0;)
            bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void putFloat(float value) { put(std::bit_cast<std::uint32_t>(value), 4); }
    bool writeTo(KVIOStreamInf* stream) const {
        return stream->write(bytes_.data(), static_cast<std::uint32_t>(bytes_.size())) ==
               bytes_.size();
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// The bytes of the fields every body has, from the flags to auxCodeC.
constexpr std::uint32_t kFixedBytes = 40;

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
    KVIOBodyReader fields(fixed, in.readSome(fixed, kFixedBytes), KV_QG3_READ_FAILED,
                          KV_QG3_SEEK_FAILED);
    std::uint64_t flags = 0;
    KVStatus status = fields.read(flags);
    if (status != KV_OK) return status;
    flags_ = flags;
    if (flags & ~kValidFlags) return KV_QG3_BAD_FORMAT;

    // The packet owns the record from here, even when the rest of the read fails.
    QG3ImageInfo& info = info_.emplace();
    info.imageNumber = static_cast<std::int32_t>(type->imageNumber);

    std::uint16_t bands = 0;
    std::uint8_t dataType = 0;
    std::uint8_t colorSpace = 0;
    std::uint8_t auxCodeA = 0;
    std::uint8_t colorTransform = 0;
    std::uint8_t auxCodeB = 0;
    std::uint8_t auxCodeC = 0;
    if ((status = fields.read(info.width)) != KV_OK ||
        (status = fields.read(info.height)) != KV_OK ||
        (status = fields.read(info.numLevels)) != KV_OK || (status = fields.read(bands)) != KV_OK)
        return status;
    // An image without bands has nothing to decode and no pixel to describe.
    if (bands == 0) return KV_QG3_BAD_FORMAT;
    if (info.bandSet.resizeAll(bands) != KV_OK) return KV_QG3_OUT_OF_MEMORY;
    if ((status = fields.read(info.estimateFactor)) != KV_OK ||
        (status = fields.read(info.subblockSize)) != KV_OK ||
        (status = fields.read(dataType)) != KV_OK ||
        (status = fields.read(info.sampleMin)) != KV_OK ||
        (status = fields.read(info.sampleMax)) != KV_OK ||
        (status = fields.read(colorSpace)) != KV_OK || (status = fields.read(auxCodeA)) != KV_OK ||
        (status = fields.read(colorTransform)) != KV_OK ||
        (status = fields.read(info.auxCodeD)) != KV_OK ||
        (status = fields.read(auxCodeB)) != KV_OK || (status = fields.read(auxCodeC)) != KV_OK)
        return status;
    // Packets with neither flag byte store the old form: a bit count.
    info.dataType =
        type->flag1 == 0 && type->flag2 == 0 ? dataTypeFromOldFormBitCount(dataType) : dataType;
    info.colorSpace = colorSpace;
    info.auxCodeA = auxCodeA;
    info.colorTransform = colorTransform;
    info.auxCodeB = auxCodeB;
    info.auxCodeC = auxCodeC;
    info.auxCountA = 0;
    info.auxCountB = 0;

    if ((status = info.computeSubbands()) != KV_OK) return status;

    if (flags & FLAG_CROP) {
        if ((status = in.read(info.cropX0)) != KV_OK || (status = in.read(info.cropY0)) != KV_OK ||
            (status = in.read(info.cropX1)) != KV_OK || (status = in.read(info.cropY1)) != KV_OK ||
            (status = in.read(info.cropLevel)) != KV_OK)
            return status;
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
            if ((status = in.readFloat(scale[band])) != KV_OK ||
                (status = in.readFloat(offset[band])) != KV_OK)
                return status;
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

    const bool oldForm = type->flag1 == 0 && type->flag2 == 0;
    FieldWriter out;
    return kvGuard(
        [&] {
            out.put(flags_, 8);
            out.put(info.width, 4);
            out.put(info.height, 4);
            out.put(info.numLevels, 1);
            out.put(info.bandSet.getSetCount(), 2);
            out.put(info.estimateFactor, 1);
            out.put(info.subblockSize, 2);
            out.put(oldForm ? getOldFormBitCount(info.dataType) : info.dataType, 1);
            out.put(static_cast<std::uint32_t>(info.sampleMin), 4);
            out.put(static_cast<std::uint32_t>(info.sampleMax), 4);
            out.put(info.colorSpace, 1);
            out.put(info.auxCodeA, 1);
            out.put(info.colorTransform, 1);
            out.put(info.auxCodeD, 4);
            out.put(info.auxCodeB, 1);
            out.put(info.auxCodeC, 1);
            if (flags_ & FLAG_CROP) {
                out.put(static_cast<std::uint32_t>(info.cropX0), 4);
                out.put(static_cast<std::uint32_t>(info.cropY0), 4);
                out.put(static_cast<std::uint32_t>(info.cropX1), 4);
                out.put(static_cast<std::uint32_t>(info.cropY1), 4);
                out.put(info.cropLevel, 1);
            }
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
