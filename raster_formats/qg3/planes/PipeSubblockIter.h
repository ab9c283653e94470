#pragma once
// Pipe order (planeset kind 1): a sequence number walked through OrderingPipe::locate, whose
// lookup cache makes consecutive numbers cheap.

#include "qg3/planes/OrderingPipe.h"
#include "qg3/planes/QG3SubblockIter.h"

#include <memory>
#include <vector>

namespace Korvel {

class PipeSubblockIter : public QG3SubblockIter {
public:
    // False when the ordering cannot be made (out of memory, or 2^32 subblocks or more).
    bool init(const QG3ImageInfo& info) override;
    void reset() override;
    void advance(std::uint64_t count) override;

private:
    void place();

    std::unique_ptr<OrderingPipe> ordering_;
    std::vector<std::uint16_t> columns_;
    std::uint64_t sequence_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace Korvel
