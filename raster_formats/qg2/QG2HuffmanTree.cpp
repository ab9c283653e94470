#include "QG2HuffmanTree.h"

#include "QG2Status.h"

namespace Korvel {

void QG2HuffmanTree::clear() {
    zero_.fill(kUnassigned);
    one_.fill(kUnassigned);
    nodes_ = 1;
    lookup_.fill(0);
}

void QG2HuffmanTree::buildLookup() {
    for (std::uint32_t bits = 0; bits < lookup_.size(); ++bits) {
        std::uint16_t node = 0;
        std::uint16_t entry = 0;
        for (int depth = 0; depth < kLookupBits; ++depth) {
            const std::uint16_t next = child((bits >> (kLookupBits - 1 - depth)) & 1, node);
            if (next >= kLeafBase) {
                // Leaves of byte symbols lie below 512; kUnassigned is no code.
                if (next < 2 * kLeafBase)
                    entry = static_cast<std::uint16_t>(((depth + 1) << 8) | (next - kLeafBase));
                break;
            }
            node = next;
            if (depth + 1 == kLookupBits) entry = static_cast<std::uint16_t>(kLongCode | node);
        }
        lookup_[bits] = entry;
    }
}

KVStatus QG2HuffmanTree::build(const std::uint8_t* bits, const std::uint8_t* huffval,
                               std::size_t huffvalCount) {
    clear();
    std::size_t total = 0;
    for (int i = 0; i < 16; ++i)
        total += bits[i];
    if (total > kMaxCodes || total > huffvalCount) return KV_QG2_BAD_CODE;

    // Canonical codes: consecutive within a length, doubled when the length grows. A code that
    // no longer fits its length means the counts overfill the code space.
    std::uint32_t code = 0;
    std::size_t k = 0;
    for (std::uint32_t length = 1; length <= 16; ++length, code <<= 1) {
        for (std::uint32_t i = 0; i < bits[length - 1]; ++i, ++code, ++k) {
            if (code >= (std::uint32_t{1} << length)) {
                clear();
                return KV_QG2_BAD_CODE;
            }
            // Insert the code from the root, most significant bit first.
            std::uint16_t node = 0;
            for (std::uint32_t b = length - 1; b > 0; --b) {
                auto& table = ((code >> b) & 1) != 0 ? one_ : zero_;
                std::uint16_t next = table[node];
                if (next == kUnassigned) {
                    if (nodes_ >= kMaxNodes) {
                        clear();
                        return KV_QG2_BAD_CODE;
                    }
                    next = static_cast<std::uint16_t>(nodes_++);
                    table[node] = next;
                } else if (next >= kLeafBase) {
                    // A shorter code is a prefix of this one.
                    clear();
                    return KV_QG2_BAD_CODE;
                }
                node = next;
            }
            auto& table = (code & 1) != 0 ? one_ : zero_;
            if (table[node] != kUnassigned) {
                clear();
                return KV_QG2_BAD_CODE;
            }
            table[node] = static_cast<std::uint16_t>(kLeafBase + huffval[k]);
        }
    }
    buildLookup();
    return KV_OK;
}

} // namespace Korvel
