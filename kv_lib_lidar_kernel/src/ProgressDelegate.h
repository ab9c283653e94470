#pragma once
// Receives the progress of a point iteration and answers whether it is to be cancelled.

#include "XAlloc.h"

namespace Korvel {

class ProgressDelegate {
public:
    KORVEL_XALLOC_OPERATORS

    explicit ProgressDelegate(double total = 0.0) : total_(total) {}
    virtual ~ProgressDelegate();

    // The fraction of the work done so far.
    virtual void reportProgress(double fractionDone);
    virtual bool isCancelled();

    // Adds n to the work done and reports done / total (0 while there is no total).
    void addProgress(double n);

    void setTotal(double total) { total_ = total; }
    double getTotal() const { return total_; }
    double getDone() const { return done_; }

private:
    double done_ = 0.0;
    double total_;
};

} // namespace Korvel
