#include "stages/KVIImageFilter.h"

#include "metadata/KVIMetadataAccessor.h"
#include "stages/KVIOverrideMetadata.h"

namespace Korvel {

KVIImageFilter::~KVIImageFilter() {
    releasePreviousStage();
}

KVStatus KVIImageFilter::setPreviousStage(KVIImageStage* stage) {
    // Retain first, so handing in the stage already held keeps it alive.
    if (stage != nullptr) stage->retain();
    releasePreviousStage();
    previous_ = stage;
    return KV_OK;
}

void KVIImageFilter::releasePreviousStage() {
    if (previous_ == nullptr) return;
    KVIImageStage* stage = previous_;
    previous_ = nullptr;
    stage->release();
}

std::uint32_t KVIImageFilter::getWidth() const {
    return previous_ ? previous_->getWidth() : 0;
}

std::uint32_t KVIImageFilter::getHeight() const {
    return previous_ ? previous_->getHeight() : 0;
}

KVStatus KVIImageFilter::getDimsAtMag(double magnification, std::uint32_t& width,
                                      std::uint32_t& height) const {
    if (previous_) return previous_->getDimsAtMag(magnification, width, height);
    width = 0;
    height = 0;
    return KV_FAILURE;
}

KVIPixel KVIImageFilter::getPixelProps() const {
    return previous_ ? previous_->getPixelProps() : KVIPixel();
}

const KVIPixel* KVIImageFilter::getBackgroundPixel() const {
    return previous_ ? previous_->getBackgroundPixel() : nullptr;
}

const KVIPixel* KVIImageFilter::getNoDataPixel() const {
    return previous_ ? previous_->getNoDataPixel() : nullptr;
}

const KVIPixelLookupTable* KVIImageFilter::getPixelLookupTable() const {
    return previous_ ? previous_->getPixelLookupTable() : nullptr;
}

KVIPixel KVIImageFilter::getMinDynamicRange() const {
    return previous_ ? previous_->getMinDynamicRange() : KVIPixel();
}

KVIPixel KVIImageFilter::getMaxDynamicRange() const {
    return previous_ ? previous_->getMaxDynamicRange() : KVIPixel();
}

KVIGeoCoord KVIImageFilter::getGeoCoord() const {
    return previous_ ? previous_->getGeoCoord() : KVIGeoCoord();
}

bool KVIImageFilter::isGeoCoordImplicit() const {
    return previous_ ? previous_->isGeoCoordImplicit() : false;
}

const KVIMetadataDatabase& KVIImageFilter::getMetadata() const {
    return previous_ ? previous_->getMetadata() : KVIOverrideMetadataData::emptyMetadata();
}

double KVIImageFilter::getMinMagnification() const {
    return previous_ ? previous_->getMinMagnification() : 1.0;
}

double KVIImageFilter::getMaxMagnification() const {
    return previous_ ? previous_->getMaxMagnification() : 1.0;
}

bool KVIImageFilter::isSelective() const {
    return previous_ ? previous_->isSelective() : false;
}

KVIMaskSource* KVIImageFilter::getMaskSource() const {
    return previous_ ? previous_->getMaskSource() : nullptr;
}

void KVIImageFilter::setProgressDelegate(KVIProgressDelegate* delegate) {
    if (previous_) previous_->setProgressDelegate(delegate);
}

KVIProgressDelegate* KVIImageFilter::getProgressDelegate() const {
    return previous_ ? previous_->getProgressDelegate() : nullptr;
}

void KVIImageFilter::setInterruptDelegate(KVIInterruptDelegate* delegate) {
    if (previous_) previous_->setInterruptDelegate(delegate);
}

KVIInterruptDelegate* KVIImageFilter::getInterruptDelegate() const {
    return previous_ ? previous_->getInterruptDelegate() : nullptr;
}

std::uint32_t KVIImageFilter::getStripHeight() const {
    return previous_ ? previous_->getStripHeight() : 0;
}

KVStatus KVIImageFilter::setStripHeight(std::uint32_t height) {
    return previous_ ? previous_->setStripHeight(height) : KV_FAILURE;
}

std::int64_t KVIImageFilter::getSceneCost(const KVIScene& scene) {
    return previous_ ? previous_->getSceneCost(scene) : 0;
}

bool KVIImageFilter::clipScene(const KVIScene& scene, KVIScene& clipped) {
    return previous_ ? previous_->clipScene(scene, clipped) : false;
}

KVStatus KVIImageFilter::setBackgroundPixel(const KVIPixel* pixel) {
    return previous_ ? previous_->setBackgroundPixel(pixel) : KV_FAILURE;
}

KVStatus KVIImageFilter::setNoDataPixel(const KVIPixel* pixel) {
    return previous_ ? previous_->setNoDataPixel(pixel) : KV_FAILURE;
}

KVStatus KVIImageFilter::setGeoCoord(const KVIGeoCoord& geo) {
    return previous_ ? previous_->setGeoCoord(geo) : KV_FAILURE;
}

KVStatus KVIImageFilter::setDynamicRange(const KVIPixel& minPixel, const KVIPixel& maxPixel) {
    return previous_ ? previous_->setDynamicRange(minPixel, maxPixel) : KV_FAILURE;
}

KVStatus KVIImageFilter::setPrecision(std::uint8_t bits) {
    return previous_ ? previous_->setPrecision(bits) : KV_FAILURE;
}

KVStatus KVIImageFilter::setPixelLookupTable(const KVIPixelLookupTable* table) {
    return previous_ ? previous_->setPixelLookupTable(table) : KV_FAILURE;
}

KVStatus KVIImageFilter::setMetadata(const KVIMetadataDatabase* metadata) {
    return previous_ ? previous_->setMetadata(metadata) : KV_FAILURE;
}

std::uint32_t KVIImageFilter::getModifications(const KVIScene& scene) {
    return previous_ ? previous_->getModifications(scene) | KVI_MOD_UNKNOWN : KVI_MOD_UNKNOWN;
}

KVStatus KVIImageFilter::decodeBegin(const KVIScene& scene) {
    return previous_ ? previous_->readBegin(scene) : KV_FAILURE;
}

KVStatus KVIImageFilter::decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    return previous_ ? previous_->readStrip(buffer, stripScene) : KV_FAILURE;
}

KVStatus KVIImageFilter::decodeEnd() {
    return previous_ ? previous_->readEnd() : KV_FAILURE;
}

} // namespace Korvel
