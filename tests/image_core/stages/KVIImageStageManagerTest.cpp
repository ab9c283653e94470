#include "stages/KVIImageStageManager.h"
#include "SyntheticImageStage.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

using namespace Korvel;
using Korvel::KVIRef;
using quarn_test::SyntheticImageStage;

namespace {

struct BareManager : KVIImageStageManager {};

// Overrides only the form with a status.
struct TwoImageManager : KVIImageStageManager {
    using KVIImageStageManager::getImageStage;
    TwoImageManager() { setNumImages(2); }
    KVStatus getImageStage(std::uint32_t index, KVIImageStage*& stage) override {
        stage = index < getNumImages() ? new SyntheticImageStage(index + 1, 1) : nullptr;
        return stage != nullptr ? KV_OK : KV_BAD_ARGUMENT;
    }
};

TEST(KVIImageStageManagerLookup, EachFormAnswersThroughTheOther) {
    KVIRef<BareManager> bare(new BareManager());
    // Neither form overridden: no stage, and no endless recursion.
    EXPECT_EQ(bare->getImageStage(0), nullptr);
    KVIImageStage* stage = nullptr;
    EXPECT_EQ(bare->getImageStage(0, stage), KV_FAILURE);
    EXPECT_EQ(bare->getOverviewImageStage(stage), KV_OK);
    EXPECT_EQ(stage, nullptr);

    KVIRef<TwoImageManager> two(new TwoImageManager());
    KVIRef<KVIImageStage> second(two->getImageStage(1));
    ASSERT_NE(second.get(), nullptr);
    EXPECT_EQ(second->getWidth(), 2u);
    EXPECT_EQ(two->getImageStage(2), nullptr);
}

} // namespace
