#pragma once
// The exception that carries a status out of constructors and deep decoding code.

#include "support/KVStatus.h"

namespace Korvel {

class KVUtilException {
public:
    explicit KVUtilException(KVStatus status) : status_(status) {}
    KVUtilException(const KVUtilException&) = default;
    KVUtilException& operator=(const KVUtilException&) = default;
    virtual ~KVUtilException();

    KVStatus getStatus() const { return status_; }

private:
    KVStatus status_;
};

} // namespace Korvel
