#include "model/KVISample.h"

#include "model/KVIDataTypeDispatch.h"

#include <cstring>
#include <limits>
#include <type_traits>

namespace Korvel {

namespace {

// Truncation toward zero with a defined result for values the type cannot hold: like the
// processor's own conversion, NaN and out-of-range values give the lowest value of the type.
std::int64_t truncateToInt64(double value) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (!(value >= -kLimit && value < kLimit)) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::int32_t truncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

template <typename T> T load(const std::uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

template <typename T> void store(std::uint8_t* bytes, T value) {
    std::memcpy(bytes, &value, sizeof(T));
}

} // namespace

KVISample::KVISample(std::uint32_t bandColor, std::uint32_t dataType, const void* value)
    : value_{}, dataType_(dataType), bandColor_(bandColor), numBytes_(getDataTypeSize(dataType)),
      precision_(8 * numBytes_) {
    if (value != nullptr) std::memcpy(value_, value, numBytes_);
}

void KVISample::setPrecision(std::uint32_t bits) {
    if (bits == 0) bits = 1;
    if (bits > 8 * numBytes_) bits = 8 * numBytes_;
    precision_ = bits;
}

void KVISample::setUint8(std::uint8_t value) {
    store(value_, value);
}
void KVISample::setUint16(std::uint16_t value) {
    store(value_, value);
}
void KVISample::setUint32(std::uint32_t value) {
    store(value_, value);
}
void KVISample::setFloat(float value) {
    store(value_, value);
}
void KVISample::setDouble(double value) {
    store(value_, value);
}

void KVISample::setValueFromBytes(const void* bytes) {
    if (bytes != nullptr) std::memcpy(value_, bytes, numBytes_);
}

void KVISample::setFromDouble(double value) {
    withSampleType(dataType_, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (std::is_floating_point_v<T>)
            store(value_, static_cast<T>(value));
        else if constexpr (std::is_signed_v<T>)
            store(value_, static_cast<T>(truncateToInt32(value)));
        else
            store(value_, static_cast<T>(truncateToInt64(value)));
    });
}

double KVISample::getAsDouble() const {
    double result = 0.0;
    withSampleType(dataType_,
                   [&](auto zero) { result = static_cast<double>(load<decltype(zero)>(value_)); });
    return result;
}

void KVISample::setToMin() {
    withSampleType(dataType_, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (std::is_floating_point_v<T>)
            store(value_, T(0.0));
        else
            store(value_, std::numeric_limits<T>::min());
    });
}

void KVISample::setToMax() {
    withSampleType(dataType_, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (std::is_floating_point_v<T>)
            store(value_, T(1.0));
        else
            store(value_, std::numeric_limits<T>::max());
    });
}

void KVISample::keepMin(const KVISample& other) {
    withSampleType(dataType_, [&](auto zero) {
        using T = decltype(zero);
        const T mine = load<T>(value_);
        const T theirs = load<T>(other.value_);
        if (theirs < mine) // false whenever either side is NaN
            store(value_, theirs);
    });
}

void KVISample::keepMax(const KVISample& other) {
    withSampleType(dataType_, [&](auto zero) {
        using T = decltype(zero);
        const T mine = load<T>(value_);
        const T theirs = load<T>(other.value_);
        if (theirs > mine) store(value_, theirs);
    });
}

} // namespace Korvel
