#include "qg3/container/QG3BandSet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using Korvel::QG3BandSet;

namespace {

void expectLike(const QG3BandSet& set, const std::vector<bool>& reference) {
    std::uint16_t count = 0;
    for (std::size_t band = 0; band < reference.size(); ++band) {
        EXPECT_EQ(set.isSet(static_cast<std::uint16_t>(band)), reference[band]) << band;
        count = static_cast<std::uint16_t>(count + reference[band]);
    }
    EXPECT_EQ(set.getBitCount(), reference.size());
    EXPECT_EQ(set.getSetCount(), count);
    EXPECT_FALSE(set.isSet(static_cast<std::uint16_t>(reference.size())));
    EXPECT_EQ(set.getBits() == nullptr, reference.empty());
}

} // namespace

// Sets of every size around the bands kept in place and in a block: resized, cleared, every
// third band set, copied and assigned across sizes, each against a plain list of flags.
TEST(QG3BandSet, AgreesWithAListOfFlagsAtEverySize) {
    QG3BandSet previous;
    std::vector<bool> previousReference;
    for (std::uint16_t n = 0; n <= 140; ++n) {
        QG3BandSet set;
        ASSERT_EQ(set.resizeAll(n), Korvel::KV_OK);
        std::vector<bool> reference(n, true);
        expectLike(set, reference);
        set.clearAll();
        reference.assign(n, false);
        for (std::uint16_t band = 0; band < n + 2; band += 3) {
            set.set(band);
            set.set(band); // twice counts once
            if (band < n) reference[band] = true;
        }
        expectLike(set, reference);

        const QG3BandSet copy(set);
        expectLike(copy, reference);
        EXPECT_TRUE(copy == set);
        EXPECT_EQ(n > 0, !(copy == previous));
        previous = copy; // from the previous size to this one
        expectLike(previous, reference);
        EXPECT_TRUE(previous == set);
        previousReference = reference;
    }
    expectLike(previous, previousReference);
}
