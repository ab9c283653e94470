// Channel descriptions, the point info's X, Y and Z rules, and channel copies and conversions
// checked against values worked out by hand.

#include "PointData.h"
#include "ChannelData.h"
#include "ChannelInfo.h"
#include "DataType.h"
#include "Error.h"
#include "PointInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using namespace Korvel;

namespace {

PointInfo makeInfo(std::initializer_list<std::pair<const char*, std::uint32_t>> channels) {
    PointInfo info;
    info.init(channels.size());
    int i = 0;
    for (const auto& [name, datatype] : channels)
        info.getChannel(i++).set(name, datatype, 0);
    return info;
}

// Channels X, Y and Z of the given datatypes (the first named xName), and any extra channel.
PointInfo xyz(std::uint32_t x = DATATYPE_FLOAT64, std::uint32_t z = DATATYPE_FLOAT64,
              const char* xName = "X", const char* extra = nullptr) {
    if (extra != nullptr)
        return makeInfo({{xName, x}, {"Y", DATATYPE_FLOAT64}, {"Z", z}, {extra, DATATYPE_UINT8}});
    return makeInfo({{xName, x}, {"Y", DATATYPE_FLOAT64}, {"Z", z}});
}

void makeChannel(ChannelData& channel, std::uint32_t datatype, std::uint64_t capacity) {
    ChannelInfo info;
    info.set("c", datatype, 0);
    channel.init(info, capacity);
}

template <class T> T* values(ChannelData& channel) {
    return static_cast<T*>(channel.getData());
}

template <class F>
void expectError(F&& f, const char* message, std::uint32_t code = 40007,
                 const char* function = nullptr) {
    try {
        f();
        ADD_FAILURE() << "no error, expected " << message;
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), message);
        EXPECT_EQ(error.getCode(), code);
        EXPECT_STREQ(error.getFile(), "PointData");
        if (function != nullptr) {
            EXPECT_STREQ(error.getFunction(), function);
        }
    }
}

// One integer value of each integer datatype and its image under scale 0.5 and offset -3.
struct IntegerCase {
    std::uint32_t datatype;
    std::int64_t raw; // stored in the channel's own type (two's complement for u64)
    double scaled;
};
const IntegerCase IntegerCases[] = {
    {DATATYPE_UINT8, 255, 124.5},
    {DATATYPE_SINT8, -128, -67.0},
    {DATATYPE_UINT16, 65535, 32764.5},
    {DATATYPE_SINT16, -32768, -16387.0},
    {DATATYPE_UINT32, 4294967295, 2147483644.5},
    {DATATYPE_SINT32, -2147483648LL, -1073741827.0},
    {DATATYPE_UINT64, 9007199254740992LL, 4503599627370493.0},
    {DATATYPE_SINT64, -9007199254740992LL, -4503599627370499.0},
};

void storeRaw(ChannelData& channel, std::int64_t raw) {
    // Little-endian hosts: the low bytes of the value are the value in the narrower type.
    std::memcpy(channel.getData(), &raw, datatypeSize(channel.getDatatype()));
}

std::int64_t loadRaw(const ChannelData& channel) {
    const std::uint32_t size = datatypeSize(channel.getDatatype());
    std::int64_t raw = 0;
    std::memcpy(&raw, channel.getData(), size);
    if (size < 8 && datatypeIsSigned(channel.getDatatype()) && (raw >> (8 * size - 1)) & 1)
        raw -= std::int64_t{1} << (8 * size); // sign extension
    return raw;
}

} // namespace

TEST(PointModel, ChannelInfoBitsAndCopies) {
    ChannelInfo info;
    info.set("Intensity", DATATYPE_SINT16, 0);
    EXPECT_EQ(info.getBits(), 16u);
    info.set("Intensity", DATATYPE_SINT16, 12);
    EXPECT_EQ(info.getBits(), 12u);

    PointInfo original = makeInfo({{"X", DATATYPE_FLOAT64}, {"GPSTime", DATATYPE_FLOAT64}});
    PointInfo copy = original;
    original.getChannel(1).set("Red", DATATYPE_UINT16, 0);
    EXPECT_STREQ(copy.getChannel(1).getName(), "GPSTime");
    EXPECT_EQ(copy.getChannel(1).getBits(), 64u);
    EXPECT_FALSE(original.hasChannel("red"));
    expectError([&] { copy.getChannel(2); }, "bad channel index", 0xFFFFFFFF);
}

TEST(PointModel, XYZRules) {
    EXPECT_TRUE(xyz(DATATYPE_FLOAT64, DATATYPE_FLOAT64, "X", "Intensity").hasValidXYZ());
    const PointInfo refused[] = {
        makeInfo({{"X", DATATYPE_FLOAT64}, {"Y", DATATYPE_FLOAT64}}),
        xyz(DATATYPE_FLOAT64, DATATYPE_FLOAT32),
        xyz(DATATYPE_FLOAT64, DATATYPE_FLOAT64, "x"),
        xyz(DATATYPE_SINT32),
        xyz(DATATYPE_FLOAT32, DATATYPE_FLOAT64, "X", "X"), // the first "X" decides
    };
    for (const PointInfo& info : refused) {
        EXPECT_FALSE(info.hasValidXYZ());
        PointData data;
        expectError([&] { data.init(info, 10); }, "must have x, y, and z channels", 40007,
                    "Korvel::PointData::init");
    }

    const PointInfo info =
        makeInfo({{"Z", DATATYPE_FLOAT64}, {"Y", DATATYPE_FLOAT64}, {"X", DATATYPE_FLOAT64}});
    PointData data;
    data.init(info, 0);
    EXPECT_EQ(data.getChannel(0).getData(), nullptr);
    data.init(info, 8);
    EXPECT_EQ(data.getX(), data.getChannel(2).getData());
    EXPECT_EQ(data.getZ(), data.getChannel(0).getData());
    expectError([&] { data.getChannel(3); }, "bad channel index", 0xFFFFFFFF);
}

TEST(PointModel, CopiesAreBoundsChecked) {
    ChannelData a, b, f;
    makeChannel(a, DATATYPE_SINT32, 100);
    makeChannel(b, DATATYPE_SINT32, 100);
    makeChannel(f, DATATYPE_FLOAT32, 100);
    for (int i = 0; i < 100; ++i)
        values<std::int32_t>(b)[i] = i * 3;
    ChannelData::copy(a, 90, b, 5, 10);
    EXPECT_EQ(values<std::int32_t>(a)[90], 15);
    EXPECT_EQ(values<std::int32_t>(a)[99], 42);

    expectError([&] { ChannelData::copy(a, 95, b, 0, 10); }, "dst too small", 40007, "testBounds");
    expectError([&] { ChannelData::copy(a, 0, b, 95, 10); }, "src too small");
    expectError([&] { ChannelData::copy(a, UINT64_MAX, b, 0, 2); }, "dst too small");
    expectError([&] { ChannelData::copy(a, 0, f, 0, 1); }, "datatype are not the same");
    // Within one channel: apart is fine, overlapping is refused.
    ChannelData::copy(b, 50, b, 0, 50);
    EXPECT_EQ(values<std::int32_t>(b)[60], 30);
    expectError([&] { ChannelData::copy(b, 10, b, 0, 11); }, "src and dst overlap");
    expectError([&] { ChannelData::convert(b, 0, b, 5, 6); }, "src and dst overlap");

    PointData p, q, r;
    p.init(xyz(), 4);
    q.init(xyz(DATATYPE_FLOAT64, DATATYPE_FLOAT64, "X", "T"), 4);
    r.init(xyz(), 4);
    expectError([&] { PointData::copy(p, 0, q, 0, 1); }, "number of channels must the same");
    r.getY()[3] = 7.5;
    PointData::copy(p, 0, r, 3, 1);
    EXPECT_EQ(p.getY()[0], 7.5);
}

TEST(PointModel, IntegerAndFloatConversionsWithScaleAndOffset) {
    for (const IntegerCase& c : IntegerCases) {
        SCOPED_TRACE(c.datatype);
        ChannelData integer, real, back;
        makeChannel(integer, c.datatype, 1);
        makeChannel(real, DATATYPE_FLOAT64, 1);
        makeChannel(back, c.datatype, 1);
        storeRaw(integer, c.raw);
        ChannelData::convert(real, 0, integer, 0, -3.0, 0.5, 1);
        EXPECT_EQ(values<double>(real)[0], c.scaled);
        ChannelData::convert(back, 0, real, 0, -3.0, 0.5, 1);
        EXPECT_EQ(loadRaw(back), c.raw);

        ChannelData single;
        makeChannel(single, DATATYPE_FLOAT32, 1);
        ChannelData::convert(single, 0, integer, 0, -3.0, 0.5, 1);
        EXPECT_EQ(values<float>(single)[0], static_cast<float>(c.scaled));
        expectError([&] { ChannelData::convert(back, 0, integer, 0, 0.0, 1.0, 1); },
                    "isFloat(dst) == isFloat(src)");
        expectError([&] { ChannelData::convert(back, 0, real, 0, 1); },
                    "isFloat(dst) != isFloat(src)");
    }

    ChannelData coded, scaled, s16, u8, u64, s32;
    makeChannel(coded, DATATYPE_SINT32, 1);
    makeChannel(scaled, DATATYPE_FLOAT64, 4);
    values<std::int32_t>(coded)[0] = 12345;
    ChannelData::convert(scaled, 0, coded, 0, 1000.0, 0.01, 1);
    EXPECT_DOUBLE_EQ(values<double>(scaled)[0], 1123.45);
    ChannelData::convert(coded, 0, scaled, 0, 1000.0, 0.01, 1);
    EXPECT_EQ(values<std::int32_t>(coded)[0], 12345);

    // Rounding is floor(v + 0.5); the low bits are kept, nothing is clamped.
    makeChannel(s16, DATATYPE_SINT16, 4);
    makeChannel(u8, DATATYPE_UINT8, 4);
    makeChannel(u64, DATATYPE_UINT64, 4);
    makeChannel(s32, DATATYPE_SINT32, 4);
    const double inputs[4] = {-2.5, 2.5, 70000.0, -1.0};
    std::memcpy(scaled.getData(), inputs, sizeof inputs);
    ChannelData::convert(s16, 0, scaled, 0, 0.0, 1.0, 4);
    EXPECT_EQ(values<std::int16_t>(s16)[0], -2);
    EXPECT_EQ(values<std::int16_t>(s16)[1], 3);
    EXPECT_EQ(values<std::int16_t>(s16)[2], 4464); // 70000 - 65536
    ChannelData::convert(u8, 0, scaled, 0, 0.0, 1.0, 4);
    EXPECT_EQ(values<std::uint8_t>(u8)[2], 112); // 70000 mod 256
    EXPECT_EQ(values<std::uint8_t>(u8)[3], 255);
    // Beyond the intermediate integer, and NaN: the lowest value of that integer.
    const double wide[3] = {1e19, 1e10, std::nan("")};
    std::memcpy(scaled.getData(), wide, sizeof wide);
    ChannelData::convert(u64, 0, scaled, 0, 0.0, 1.0, 3);
    EXPECT_EQ(values<std::uint64_t>(u64)[0], 10000000000000000000ULL);
    EXPECT_EQ(values<std::uint64_t>(u64)[2], 0x8000000000000000ULL);
    ChannelData::convert(s32, 0, scaled, 0, 0.0, 1.0, 3);
    EXPECT_EQ(values<std::int32_t>(s32)[1], std::numeric_limits<std::int32_t>::min());
}

TEST(PointModel, SameKindConversionsCast) {
    ChannelData s32, u16, f32, f64;
    makeChannel(s32, DATATYPE_SINT32, 2);
    makeChannel(u16, DATATYPE_UINT16, 2);
    makeChannel(f32, DATATYPE_FLOAT32, 2);
    makeChannel(f64, DATATYPE_FLOAT64, 2);
    values<std::int32_t>(s32)[0] = -1;
    values<std::int32_t>(s32)[1] = 70000;
    ChannelData::convert(u16, 0, s32, 0, 2);
    EXPECT_EQ(values<std::uint16_t>(u16)[0], 65535);
    EXPECT_EQ(values<std::uint16_t>(u16)[1], 4464);

    values<double>(f64)[0] = 1.5;
    values<double>(f64)[1] = 1e300;
    ChannelData::convert(f32, 0, f64, 0, 2);
    EXPECT_EQ(values<float>(f32)[0], 1.5f);
    EXPECT_EQ(values<float>(f32)[1], std::numeric_limits<float>::infinity());
    values<float>(f32)[0] = 0.1f;
    ChannelData::convert(f64, 0, f32, 0, 1);
    EXPECT_EQ(values<double>(f64)[0], static_cast<double>(0.1f));
}
