// The stored answers of the point reader base and the set-up of a point iterator.

#include "PointReader.h"
#include "DataType.h"
#include "Error.h"
#include "LidarMemoryIO.h"
#include "PointInfo.h"
#include "PointIterator.h"
#include "ProgressDelegate.h"

#include <gtest/gtest.h>

using namespace Korvel;
using quarn_test::ObjectRef;

namespace {

PointInfo xyzInfo(std::uint32_t xDatatype = DATATYPE_FLOAT64, const char* xName = "X") {
    PointInfo info;
    info.init(4);
    info.getChannel(0).set(xName, xDatatype, 0);
    info.getChannel(1).set("Y", DATATYPE_FLOAT64, 0);
    info.getChannel(2).set("Z", DATATYPE_FLOAT64, 0);
    info.getChannel(3).set("Intensity", DATATYPE_UINT16, 12);
    return info;
}

class RecordingDelegate : public ProgressDelegate {
public:
    using ProgressDelegate::ProgressDelegate;
    void reportProgress(double fraction) override { last = fraction; }
    double last = -1.0;
};

} // namespace

TEST(PointReaderBase, QuantisationNeedsThreeNonzeroScales) {
    ObjectRef<PointReader> reader(new PointReader);
    const double partial[3] = {1.0, 1.0, 0.0};
    const double offsets[3] = {10.0, 20.0, 30.0};
    reader->setQuantization(partial, offsets);
    EXPECT_EQ(reader->getScale(), nullptr);
    EXPECT_EQ(reader->getOffset(), nullptr);
    const double scales[3] = {0.01, 0.01, 0.01};
    const double zeros[3] = {0.0, 0.0, 0.0};
    reader->setQuantization(scales, zeros);
    ASSERT_NE(reader->getOffset(), nullptr); // zero offsets are still offsets
    EXPECT_EQ(reader->getOffset()[2], 0.0);

    reader->setWKT("GEOGCS[]");
    EXPECT_STREQ(reader->getWKT(), "GEOGCS[]");
    reader->setWKT("");
    EXPECT_EQ(reader->getWKT(), nullptr);
}

TEST(PointReaderBase, PointInfoWithoutXYZIsRefused) {
    ObjectRef<PointReader> reader(new PointReader);
    reader->setPointInfo(xyzInfo());
    for (const PointInfo& bad : {xyzInfo(DATATYPE_SINT32), xyzInfo(DATATYPE_FLOAT64, "x")}) {
        try {
            reader->setPointInfo(bad);
            ADD_FAILURE() << "accepted";
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "must have x, y, and z channels");
            EXPECT_STREQ(error.getFunction(), "Korvel::PointReader::setPointInfo");
            EXPECT_EQ(error.getCode(), 40007u);
        }
    }
    EXPECT_STREQ(reader->getPointInfo().getChannel(0).getName(), "X"); // kept
    EXPECT_EQ(reader->getPointInfo().getChannel(3).getBits(), 12u);
}

TEST(PointIteratorBase, InitSetsThinningAndChecksChannels) {
    const double box[6] = {1, 2, 3, 4, 5, 6};
    RecordingDelegate delegate(200.0);
    ObjectRef<PointIterator> iterator(new PointIterator);
    iterator->init(box, 1.0, xyzInfo(), &delegate);
    EXPECT_EQ(iterator->getAccumulator(), 0.0);
    EXPECT_EQ(iterator->getLimit(), 0.5);
    EXPECT_EQ(iterator->getBounds()[3], 4.0);
    iterator->init(box, 0.5, xyzInfo(), nullptr);
    EXPECT_EQ(iterator->getAccumulator(), 0.5);
    EXPECT_EQ(iterator->getLimit(), 0.75);
    try {
        iterator->init(box, 1.0, xyzInfo(DATATYPE_SINT32), nullptr);
        ADD_FAILURE() << "accepted";
    } catch (const Error& error) {
        EXPECT_STREQ(error.getFunction(), "Korvel::PointIterator::init");
    }

    delegate.addProgress(50);
    delegate.addProgress(30);
    EXPECT_EQ(delegate.last, 0.4);
}
