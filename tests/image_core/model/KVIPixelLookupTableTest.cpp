#include "model/KVIPixelLookupTable.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using namespace Korvel;

TEST(KVIPixelLookupTable, EntriesAreZeroedCopiedAndOwned) {
    KVIPixelLookupTable table(KVIPixel(0x301, 3, KVI_DATATYPE_UINT16), 4);
    ASSERT_EQ(table.getEntriesSize(), 3u * 2u * 4u);
    for (std::size_t i = 0; i < table.getEntriesSize(); ++i)
        EXPECT_EQ(table.getEntries()[i], 0);

    std::vector<std::uint8_t> source(table.getEntriesSize());
    std::iota(source.begin(), source.end(), 1);
    table.setEntries(source.data());
    table.setEntries(nullptr);
    const KVIPixelLookupTable copy(table);
    source.assign(source.size(), 0);
    table.setEntries(source.data());
    EXPECT_EQ(copy.getEntries()[23], 24);
    EXPECT_EQ(copy.getTableSize(), 4u);
    EXPECT_EQ(copy.getNumBands(), 3);
}

TEST(KVIPixelLookupTable, OversizedTableThrowsOutOfMemory) {
    try {
        KVIPixelLookupTable table(KVIPixel(0xFF01, 4, KVI_DATATYPE_FLOAT64), 0x10000000u);
        FAIL() << "an 8 GiB table was accepted";
    } catch (const KVUtilException& e) {
        EXPECT_EQ(e.getStatus(), KV_OUT_OF_MEMORY);
    }
}
