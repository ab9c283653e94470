#include "ProgressDelegate.h"

namespace Korvel {

ProgressDelegate::~ProgressDelegate() = default;

void ProgressDelegate::reportProgress(double) {}

bool ProgressDelegate::isCancelled() {
    return false;
}

void ProgressDelegate::addProgress(double n) {
    done_ += n;
    reportProgress(total_ > 0.0 ? done_ / total_ : 0.0);
}

} // namespace Korvel
