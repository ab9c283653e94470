#include "model/KVISample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

using namespace Korvel;

namespace {

template <typename T> T valueOf(const KVISample& sample) {
    T value;
    std::memcpy(&value, sample.getValueAddr(), sizeof(T));
    return value;
}

template <typename T> T convert(std::uint32_t type, double d) {
    KVISample sample(KVI_BAND_OTHER, type);
    sample.setFromDouble(d);
    return valueOf<T>(sample);
}

} // namespace

TEST(KVISample, SetFromDoubleTruncatesAndKeepsLowBits) {
    EXPECT_EQ(convert<std::uint8_t>(KVI_DATATYPE_UINT8, 300.7), 44);
    EXPECT_EQ(convert<std::uint8_t>(KVI_DATATYPE_UINT8, -1.0), 255);
    EXPECT_EQ(convert<std::int8_t>(KVI_DATATYPE_SINT8, 200.0), -56);
    EXPECT_EQ(convert<std::uint16_t>(KVI_DATATYPE_UINT16, 70000.9), 4464);
    EXPECT_EQ(convert<std::int16_t>(KVI_DATATYPE_SINT16, -3.9), -3);
    EXPECT_EQ(convert<std::uint32_t>(KVI_DATATYPE_UINT32, -1.0), 0xFFFFFFFFu);
    EXPECT_EQ(convert<std::uint32_t>(KVI_DATATYPE_UINT32, 4294967301.0), 5u);
    EXPECT_EQ(convert<std::int32_t>(KVI_DATATYPE_SINT32, -2.5), -2);
    EXPECT_FLOAT_EQ(convert<float>(KVI_DATATYPE_FLOAT32, 0.25), 0.25f);
    EXPECT_DOUBLE_EQ(convert<double>(KVI_DATATYPE_FLOAT64, 1e300), 1e300);
    // Values no integer can hold give the lowest value of the conversion, not undefined results.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(convert<std::uint8_t>(KVI_DATATYPE_UINT8, nan), 0);
    EXPECT_EQ(convert<std::int32_t>(KVI_DATATYPE_SINT32, 1e12), INT32_MIN);
    EXPECT_EQ(convert<std::uint16_t>(KVI_DATATYPE_UINT16, 1e30), 0);
}

TEST(KVISample, TypeTableGivesSizesAndExtremes) {
    struct Row {
        std::uint32_t type;
        unsigned bytes;
        double min, max;
    };
    const Row rows[] = {{1, 1, 0, 255},          {2, 1, -128, 127},
                        {3, 2, 0, 65535},        {4, 2, -32768, 32767},
                        {5, 4, 0, 4294967295.0}, {6, 4, -2147483648.0, 2147483647},
                        {7, 4, 0.0, 1.0},        {8, 8, 0.0, 1.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        EXPECT_EQ(getDataTypeSize(row.type), row.bytes);
        KVISample sample(KVI_BAND_OTHER, row.type);
        EXPECT_EQ(sample.getPrecision(), 8 * row.bytes);
        sample.setToMin();
        EXPECT_EQ(sample.getAsDouble(), row.min);
        sample.setToMax();
        EXPECT_EQ(sample.getAsDouble(), row.max);
    }
    EXPECT_EQ(getDataTypeSize(0), 0);
    EXPECT_EQ(getDataTypeSize(9), 0);
}

TEST(KVISample, ConstructionAndPrecision) {
    const KVISample plain;
    EXPECT_EQ(plain.getDataType(), KVI_DATATYPE_UINT8);
    EXPECT_EQ(plain.getBandColor(), KVI_BAND_OTHER);

    // Only the type's bytes are taken from the source.
    const std::uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    KVISample sample(KVI_BAND_RED, KVI_DATATYPE_UINT16, bytes);
    const auto* value = static_cast<const std::uint8_t*>(sample.getValueAddr());
    EXPECT_EQ(value[0], 1);
    EXPECT_EQ(value[1], 2);
    EXPECT_EQ(value[2], 0);

    sample.setPrecision(0);
    EXPECT_EQ(sample.getPrecision(), 1u);
    sample.setPrecision(12);
    EXPECT_EQ(sample.getPrecision(), 12u);
    KVISample narrow(KVI_BAND_OTHER, KVI_DATATYPE_UINT8);
    narrow.setPrecision(12);
    EXPECT_EQ(narrow.getPrecision(), 8u);
}

TEST(KVISample, KeepMinMaxCompareInOwnTypeAndIgnoreNaN) {
    KVISample a(KVI_BAND_OTHER, KVI_DATATYPE_SINT8);
    KVISample b(KVI_BAND_OTHER, KVI_DATATYPE_SINT8);
    a.setFromDouble(1);
    b.setFromDouble(-1); // 0xFF: smallest as signed, largest as unsigned
    a.keepMin(b);
    EXPECT_EQ(a.getAsDouble(), -1.0);
    a.keepMax(KVISample(KVI_BAND_OTHER, KVI_DATATYPE_SINT8));
    EXPECT_EQ(a.getAsDouble(), 0.0);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    KVISample f(KVI_BAND_OTHER, KVI_DATATYPE_FLOAT32);
    KVISample g(KVI_BAND_OTHER, KVI_DATATYPE_FLOAT32);
    f.setFloat(nan);
    g.setFloat(5.0f);
    f.keepMax(g);
    EXPECT_TRUE(std::isnan(valueOf<float>(f)));
    g.keepMin(f);
    EXPECT_EQ(valueOf<float>(g), 5.0f);
}
