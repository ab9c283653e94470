#include "DiskRTree.h"

#include "BigEndian.h"
#include "BufferedIOReader.h"
#include "Error.h"
#include "IO.h"

#include <memory>

namespace Korvel {

namespace {

const char* const InitFunction = "Korvel::DiskRTree::init";
const char* const LoadFunction = "Korvel::DiskRTree::Branch::load";

// Count byte of a branch, and one stored entry: three u32 ranges and a u32 payload.
constexpr std::int64_t CountBytes = 1;
constexpr std::int64_t EntryBytes = 28;

constexpr const char* kFile = "RTree";

// One field that must end at or before end.
template <class T> bool readWithin(BufferedIOReader& reader, std::int64_t end, T& value) {
    return reader.tell() <= end - static_cast<std::int64_t>(sizeof(T)) &&
           BigEndian::read(reader, value);
}

// Minimum and maximum of one axis, each a u32 scaled and offset.
void loadRange(BufferedIOReader& reader, std::int64_t end, double scale, double offset,
               double* range) {
    for (int i = 0; i < 2; ++i) {
        std::uint32_t value = 0;
        if (!readWithin(reader, end, value))
            KORVEL_FAIL(kFile, "loadRange", ErrorCode::RTree, "bad read -- node bounds");
        range[i] = static_cast<double>(value) * scale + offset;
    }
}

} // namespace

struct DiskRTree::Branch {
    KORVEL_XALLOC_OPERATORS

    struct Entry {
        double box[6];
        std::uint64_t payload; // child offset above level 0, block number at level 0
    };

    // Reads the branch at offset start. A child must lie after the whole of its parent and
    // inside the body, so that no walk can come back to a branch it came from.
    static void load(Branch& branch, unsigned level, BufferedIOReader& reader, std::int64_t start,
                     const double* scales, const double* offsets, std::int64_t end) {
        std::uint8_t count = 0;
        if (start < 0 || start >= end)
            KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad read -- node count");
        reader.seek(start, BufferedIOReader::FromStart);
        if (!readWithin(reader, end, count))
            KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad read -- node count");
        if (count > MaxEntries)
            KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad node count");
        const std::int64_t size = CountBytes + EntryBytes * count;
        for (unsigned i = 0; i < count; ++i) {
            Entry& entry = branch.entries[i];
            for (int axis = 0; axis < 3; ++axis)
                loadRange(reader, end, scales[axis], offsets[axis], entry.box + 2 * axis);
            std::uint32_t payload = 0;
            if (!readWithin(reader, end, payload))
                KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad read -- node payload");
            entry.payload = payload;
            if (level > 0) {
                if (payload < size || start + payload >= end)
                    KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad node offset");
                entry.payload = static_cast<std::uint64_t>(start) + payload;
            }
        }
        branch.level = static_cast<std::uint16_t>(level);
        branch.count = count;
    }

    std::uint16_t level = 0;
    std::uint16_t count = 0;
    Entry entries[MaxEntries];
};

// The walk keeps one frame per level, each a copy of a branch and its next entry; lower frames
// are read from the file as the walk descends.
class DiskRTree::Walker : public RTree::Iterator {
public:
    explicit Walker(const DiskRTree& tree) : tree_(tree), frames_(new Frame[tree.rootLevel_ + 1u]) {
        reader_.attach(tree.io_, true, 4096);
        reset();
    }

    void reset() override {
        depth_ = 0;
        branchReads_ = 0;
        frames_[0].next = 0;
        frames_[0].branch = *tree_.root_;
    }

protected:
    bool advance(const Query& query, std::uint64_t& block) override {
        while (depth_ >= 0) {
            Frame& frame = frames_[depth_];
            if (frame.next >= frame.branch.count) {
                --depth_;
                continue;
            }
            const Branch::Entry& entry = frame.branch.entries[frame.next++];
            if (!query.passes(entry.box)) continue;
            if (frame.branch.level == 0) {
                block = entry.payload;
                return true;
            }
            // Branches shared between parents would make the walk repeat them without end.
            if (++branchReads_ > tree_.maxBranchReads_)
                KORVEL_FAIL(kFile, "Korvel::DiskRTree::Iterator::descend", ErrorCode::RTree,
                            "bad node offset");
            Branch::load(frames_[depth_ + 1].branch, frame.branch.level - 1u, reader_,
                         static_cast<std::int64_t>(entry.payload), tree_.scale_, tree_.offset_,
                         tree_.bodyEnd_);
            ++depth_;
            frames_[depth_].next = 0;
        }
        return false;
    }

private:
    struct Frame {
        KORVEL_XALLOC_OPERATORS

        unsigned next = 0;
        Branch branch;
    };

    const DiskRTree& tree_;
    std::unique_ptr<Frame[]> frames_;
    BufferedIOReader reader_;
    int depth_ = 0;
    std::int64_t branchReads_ = 0;
};

DiskRTree::~DiskRTree() {
    delete root_;
    if (io_ != nullptr) io_->release();
}

RTree::Iterator* DiskRTree::createIterator() const {
    if (root_ == nullptr)
        KORVEL_FAIL(kFile, "Korvel::DiskRTree::createIterator", ErrorCode::RTree,
                    "index not loaded");
    return new Walker(*this);
}

void DiskRTree::init(BufferedIOReader& reader, std::int64_t bodyLength) {
    IO* io = reader.getIO();
    if (io != nullptr) io->retain();
    if (io_ != nullptr) io_->release();
    io_ = io;

    const std::int64_t start = reader.tell();
    std::int64_t end = start;
    if (bodyLength > 0 && __builtin_add_overflow(start, bodyLength, &end))
        KORVEL_FAIL(kFile, InitFunction, ErrorCode::RTree, "bad read -- max nodes");
    if (!readWithin(reader, end, maxNodes_))
        KORVEL_FAIL(kFile, InitFunction, ErrorCode::RTree, "bad read -- max nodes");
    if (!readWithin(reader, end, rootLevel_))
        KORVEL_FAIL(kFile, InitFunction, ErrorCode::RTree, "bad read -- level");
    if (rootLevel_ > MaxRootLevel)
        KORVEL_FAIL(kFile, InitFunction, ErrorCode::RTree, "bad root level");
    if (!readWithin(reader, end, numEntries_))
        KORVEL_FAIL(kFile, InitFunction, ErrorCode::RTree, "bad read -- count");
    for (int axis = 0; axis < 3; ++axis) {
        if (!readWithin(reader, end, scale_[axis]))
            KORVEL_FAIL(kFile, InitFunction, ErrorCode::RTree, "bad read -- scale");
        if (!readWithin(reader, end, offset_[axis]))
            KORVEL_FAIL(kFile, InitFunction, ErrorCode::RTree, "bad read -- offset");
    }
    bodyEnd_ = end;
    maxBranchReads_ = (end - start) / (CountBytes + EntryBytes) + 1;

    std::unique_ptr<Branch> root(new Branch);
    Branch::load(*root, rootLevel_, reader, reader.tell(), scale_, offset_, end);
    delete root_;
    root_ = root.release();
    reader.seek(end, BufferedIOReader::FromStart);
}

} // namespace Korvel
