#include "ChannelData.h"

#include "ChannelInfo.h"
#include "DataType.h"
#include "DatatypeDispatch.h"
#include "Error.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace Korvel {

namespace {

const char* const CopyFunction = "Korvel::ChannelData::copy";
const char* const ConvertFunction = "Korvel::ChannelData::convert";

constexpr const char* kFile = "PointData";

void testBounds(const ChannelData& channel, std::uint64_t offset, std::uint64_t count,
                const char* label) {
    std::uint64_t end = 0;
    if (__builtin_add_overflow(offset, count, &end) || end > channel.getNumSamples())
        KORVEL_FAIL("PointData", "testBounds", ErrorCode::PointData, "%s too small", label);
}

// Both ranges checked, and a copy within one channel refused when the ranges overlap.
void testRanges(const ChannelData& dst, std::uint64_t dstOffset, const ChannelData& src,
                std::uint64_t srcOffset, std::uint64_t count, const char* function) {
    testBounds(dst, dstOffset, count, "dst");
    testBounds(src, srcOffset, count, "src");
    if (&dst == &src && count > 0 && dstOffset < srcOffset + count && srcOffset < dstOffset + count)
        KORVEL_FAIL(kFile, function, ErrorCode::PointData, "src and dst overlap");
}

// The kernel of a conversion, chosen once for both channels' sample types: kernel(out, in) with
// typed pointers to the first samples. Unknown datatypes throw.
template <class Kernel>
void withSamples(void* dstData, std::uint32_t dstType, std::uint64_t dstOffset, const void* srcData,
                 std::uint32_t srcType, std::uint64_t srcOffset, Kernel&& kernel) {
    if (!datatypeIsKnown(dstType) || !datatypeIsKnown(srcType))
        KORVEL_FAIL(kFile, ConvertFunction, ErrorCode::PointData, "unknown datatype");
    withDatatype(dstType, [&]<class D>(D) {
        withDatatype(srcType, [&]<class S>(S) {
            kernel(static_cast<D*>(dstData) + dstOffset,
                   static_cast<const S*>(srcData) + srcOffset);
        });
    });
}

// A double stored as a float: values beyond the float range become infinities, as the hardware
// conversion gives them.
float narrow(double value) {
    if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

template <class Dst> Dst fromDouble(double value) {
    if constexpr (std::is_same_v<Dst, float>)
        return narrow(value);
    else
        return static_cast<Dst>(value);
}

// Truncation toward zero into a signed integer of type I; values out of its range (and NaN)
// give the integer-indefinite pattern (the lowest value), as the hardware conversion does.
template <class I> I truncateTo(double value) {
    constexpr double limit = -static_cast<double>(std::numeric_limits<I>::min()); // 2^(bits-1)
    if (value >= -limit && value < limit) return static_cast<I>(value);
    return std::numeric_limits<I>::min();
}

// A rounded value stored in an integer channel of type T: through a signed 64-bit integer for
// the unsigned types up to 32 bits, through a signed 32-bit integer for the signed ones, directly
// for the 64-bit types. Only the low bits are kept; nothing is clamped.
template <class T> T toInteger(double value) {
    if constexpr (sizeof(T) <= 4 && std::is_unsigned_v<T>)
        return static_cast<T>(truncateTo<std::int64_t>(value));
    else if constexpr (sizeof(T) <= 4)
        return static_cast<T>(truncateTo<std::int32_t>(value));
    else if constexpr (std::is_signed_v<T>)
        return truncateTo<std::int64_t>(value);
    else if (value >= 0.0 && value < 18446744073709551616.0)
        return static_cast<std::uint64_t>(value);
    else
        return static_cast<std::uint64_t>(truncateTo<std::int64_t>(value));
}

} // namespace

ChannelData::~ChannelData() {
    XFREE(name_);
    XFREE(data_);
}

void ChannelData::init(const ChannelInfo& info, std::uint64_t capacity) {
    if (!datatypeIsKnown(info.getDatatype()))
        KORVEL_FAIL(kFile, "Korvel::ChannelData::init", ErrorCode::PointData, "unknown datatype");
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(capacity, datatypeSize(info.getDatatype()), &bytes))
        KORVEL_FAIL(kFile, "Korvel::ChannelData::init", ErrorCode::PointData, "capacity too large");
    void* data = capacity > 0 ? XALLOC(bytes) : nullptr;
    char* name = nullptr;
    try {
        name = XSTRDUP(info.getName());
    } catch (...) {
        XFREE(data);
        throw;
    }
    XFREE(name_);
    XFREE(data_);
    name_ = name;
    datatype_ = info.getDatatype();
    bits_ = channelBits(datatype_, static_cast<int>(info.getBits()));
    numSamples_ = capacity;
    data_ = data;
}

void ChannelData::copy(ChannelData& dst, std::uint64_t dstOffset, const ChannelData& src,
                       std::uint64_t srcOffset, std::uint64_t count) {
    testRanges(dst, dstOffset, src, srcOffset, count, CopyFunction);
    if (dst.datatype_ != src.datatype_)
        KORVEL_FAIL(kFile, CopyFunction, ErrorCode::PointData, "datatype are not the same");
    if (count == 0) return;
    const std::uint64_t size = datatypeSize(dst.datatype_);
    std::memcpy(static_cast<unsigned char*>(dst.data_) + dstOffset * size,
                static_cast<const unsigned char*>(src.data_) + srcOffset * size, count * size);
}

void ChannelData::convert(ChannelData& dst, std::uint64_t dstOffset, const ChannelData& src,
                          std::uint64_t srcOffset, double offset, double scale,
                          std::uint64_t count) {
    testRanges(dst, dstOffset, src, srcOffset, count, ConvertFunction);
    if (datatypeIsFloat(dst.datatype_) == datatypeIsFloat(src.datatype_))
        KORVEL_FAIL(kFile, ConvertFunction, ErrorCode::PointData, "isFloat(dst) == isFloat(src)");
    withSamples(dst.data_, dst.datatype_, dstOffset, src.data_, src.datatype_, srcOffset,
                [&]<class D, class S>(D* out, const S* in) {
                    if constexpr (std::is_floating_point_v<D> && std::is_integral_v<S>) {
                        for (std::uint64_t i = 0; i < count; ++i)
                            out[i] = fromDouble<D>(static_cast<double>(in[i]) * scale + offset);
                    } else if constexpr (std::is_integral_v<D> && std::is_floating_point_v<S>) {
                        for (std::uint64_t i = 0; i < count; ++i)
                            out[i] = toInteger<D>(
                                std::floor((static_cast<double>(in[i]) - offset) / scale + 0.5));
                    }
                });
}

void ChannelData::convert(ChannelData& dst, std::uint64_t dstOffset, const ChannelData& src,
                          std::uint64_t srcOffset, std::uint64_t count) {
    testRanges(dst, dstOffset, src, srcOffset, count, ConvertFunction);
    if (datatypeIsFloat(dst.datatype_) != datatypeIsFloat(src.datatype_))
        KORVEL_FAIL(kFile, ConvertFunction, ErrorCode::PointData, "isFloat(dst) != isFloat(src)");
    withSamples(dst.data_, dst.datatype_, dstOffset, src.data_, src.datatype_, srcOffset,
                [&]<class D, class S>(D* out, const S* in) {
                    if constexpr (std::is_same_v<D, float> && std::is_same_v<S, double>) {
                        for (std::uint64_t i = 0; i < count; ++i)
                            out[i] = narrow(in[i]);
                    } else if constexpr (std::is_floating_point_v<D> ==
                                         std::is_floating_point_v<S>) {
                        // Integers wrap to the destination's width (two's complement), floats
                        // widen.
                        for (std::uint64_t i = 0; i < count; ++i)
                            out[i] = static_cast<D>(in[i]);
                    }
                });
}

} // namespace Korvel
