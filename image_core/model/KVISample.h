#pragma once
// One band value of a pixel: the value in its own data type, the band's colour and the number of
// significant bits (precision).

#include "model/KVIColorSpace.h"
#include "model/KVIDataType.h"

#include <cstdint>

namespace Korvel {

class KVISample {
public:
    // The value is zeroed, then filled from value (the type's size in bytes) when one is given.
    explicit KVISample(std::uint32_t bandColor = KVI_BAND_OTHER,
                       std::uint32_t dataType = KVI_DATATYPE_UINT8, const void* value = nullptr);
    KVISample(const KVISample&) = default;
    virtual ~KVISample() = default;
    virtual KVISample& operator=(const KVISample&) = default;

    std::uint32_t getDataType() const { return dataType_; }
    std::uint32_t getBandColor() const { return bandColor_; }
    std::uint32_t getNumBytes() const { return numBytes_; }
    std::uint32_t getPrecision() const { return precision_; }
    // 0 becomes 1; anything above the type's width becomes the width.
    void setPrecision(std::uint32_t bits);

    void setUint8(std::uint8_t value);
    void setUint16(std::uint16_t value);
    void setUint32(std::uint32_t value);
    void setFloat(float value);
    void setDouble(double value);
    void setValueFromBytes(const void* bytes);
    void* getValueAddr() { return value_; }
    const void* getValueAddr() const { return value_; }

    // Converts without clamping: unsigned types keep the low bits of a 64-bit truncation, signed
    // types the low bits of a 32-bit truncation.
    void setFromDouble(double value);
    // The value as a double, read in the sample's own type; 0 for an unknown type.
    double getAsDouble() const;

    void setToMin();
    void setToMax();
    // Take the other sample's value when it is smaller (larger), compared in this sample's type.
    // A NaN on either side leaves the value alone.
    void keepMin(const KVISample& other);
    void keepMax(const KVISample& other);

private:
    alignas(8) std::uint8_t value_[8];
    std::uint32_t dataType_;
    std::uint32_t bandColor_;
    std::uint32_t numBytes_;
    std::uint32_t precision_;
};

} // namespace Korvel
