#include "MemoryRTree.h"

#include "BigEndian.h"
#include "BufferedIOReader.h"
#include "Error.h"

#include <cmath>
#include <memory>

namespace Korvel {

namespace {

// A split stops choosing entries one by one when a group reaches this many of the 11.
constexpr unsigned SplitFill = 6;
// Bytes of one box in the memory form.
constexpr std::int64_t BoxBytes = 48;

double volume(const double* box) {
    return (box[1] - box[0]) * (box[3] - box[2]) * (box[5] - box[4]);
}

void unite(double* into, const double* box) {
    for (int axis = 0; axis < 3; ++axis) {
        if (box[2 * axis] < into[2 * axis]) into[2 * axis] = box[2 * axis];
        if (box[2 * axis + 1] > into[2 * axis + 1]) into[2 * axis + 1] = box[2 * axis + 1];
    }
}

void copyBox(double* into, const double* box) {
    for (int i = 0; i < 6; ++i)
        into[i] = box[i];
}

// The volume that group needs to grow by to include box.
double enlargement(const double* group, const double* box) {
    double grown[6];
    copyBox(grown, group);
    unite(grown, box);
    return volume(grown) - volume(group);
}

constexpr const char* kFile = "RTree";
constexpr const char* LoadFunction = "Korvel::MemoryRTree::load";

} // namespace

struct MemoryRTree::Node {
    KORVEL_XALLOC_OPERATORS

    struct Entry {
        double box[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
        std::uint64_t block = 0;
        Node* child = nullptr; // inner nodes only
    };

    explicit Node(std::uint16_t level) : level(level) {}
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node() {
        for (unsigned i = 0; i < count; ++i)
            delete entries[i].child;
    }

    // The union of the entries' boxes (the node is never empty when asked).
    void cover(double* box) const {
        copyBox(box, entries[0].box);
        for (unsigned i = 1; i < count; ++i)
            unite(box, entries[i].box);
    }

    // Inserts a leaf entry below this node; returns the new sibling when this node split.
    Node* insert(const Entry& entry) {
        if (level == 0) return add(entry);
        Entry& slot = entries[chooseChild(entry.box)];
        std::unique_ptr<Node> sibling(slot.child->insert(entry));
        slot.child->cover(slot.box);
        if (!sibling) return nullptr;
        Entry up;
        sibling->cover(up.box);
        up.child = sibling.get();
        // This node (or its own new sibling) owns the child once it is added.
        Node* split = add(up);
        sibling.release();
        return split;
    }

    // The child needing the least enlargement; then the smaller volume; then the first.
    unsigned chooseChild(const double* box) const {
        unsigned best = 0;
        double bestGrowth = enlargement(entries[0].box, box);
        double bestVolume = volume(entries[0].box);
        for (unsigned i = 1; i < count; ++i) {
            const double growth = enlargement(entries[i].box, box);
            const double size = volume(entries[i].box);
            if (growth < bestGrowth || (growth == bestGrowth && size < bestVolume)) {
                best = i;
                bestGrowth = growth;
                bestVolume = size;
            }
        }
        return best;
    }

    // Appends the entry, or splits when full and returns the new node.
    Node* add(const Entry& entry) {
        if (count < MaxEntries) {
            entries[count++] = entry;
            return nullptr;
        }
        Node* sibling = new Node(level);
        split(entry, *sibling);
        return sibling;
    }

    // Quadratic split of the 10 entries and the extra one between this node and sibling.
    void split(const Entry& extra, Node& sibling) {
        Entry all[MaxEntries + 1];
        for (unsigned i = 0; i < MaxEntries; ++i)
            all[i] = entries[i];
        all[MaxEntries] = extra;

        // Seeds: the pair that would waste the most volume together; the first pair wins ties.
        unsigned seed0 = 0, seed1 = 1;
        double worst = 0.0;
        for (unsigned i = 0; i <= MaxEntries; ++i)
            for (unsigned j = i + 1; j <= MaxEntries; ++j) {
                double both[6];
                copyBox(both, all[i].box);
                unite(both, all[j].box);
                const double waste = volume(both) - volume(all[i].box) - volume(all[j].box);
                if ((i == 0 && j == 1) || waste > worst) {
                    worst = waste;
                    seed0 = i;
                    seed1 = j;
                }
            }

        Entry groups[2][MaxEntries + 1];
        unsigned sizes[2] = {0, 0};
        double covers[2][6];
        auto assign = [&](int group, const Entry& entry) {
            if (sizes[group] == 0)
                copyBox(covers[group], entry.box);
            else
                unite(covers[group], entry.box);
            groups[group][sizes[group]++] = entry;
        };
        assign(0, all[seed0]);
        assign(1, all[seed1]);
        Entry rest[MaxEntries + 1];
        unsigned numRest = 0;
        for (unsigned i = 0; i <= MaxEntries; ++i)
            if (i != seed0 && i != seed1) rest[numRest++] = all[i];

        // Group 0 is this node, group 1 the new one.
        while (sizes[0] < SplitFill && sizes[1] < SplitFill && numRest > 0) {
            double best = 0.0;
            int pick = -1;
            int group = 1;
            for (unsigned k = 0; k < numRest; ++k) {
                const double d0 = enlargement(covers[0], rest[k].box);
                const double d1 = enlargement(covers[1], rest[k].box);
                const double difference = std::fabs(d0 - d1);
                if (difference > best) {
                    best = difference;
                    pick = static_cast<int>(k);
                    group = d0 < d1 ? 0 : 1;
                } else if (difference == best) {
                    pick = static_cast<int>(k);
                    const double v0 = volume(covers[0]);
                    const double v1 = volume(covers[1]);
                    group = v0 < v1 ? 0 : v1 < v0 ? 1 : sizes[0] >= sizes[1] ? 1 : 0;
                }
            }
            if (pick < 0) { // only when every difference is NaN
                pick = static_cast<int>(numRest) - 1;
                group = sizes[0] >= sizes[1] ? 1 : 0;
            }
            assign(group, rest[pick]);
            rest[pick] = rest[--numRest];
        }
        const int smaller = sizes[1] <= sizes[0] ? 1 : 0;
        for (unsigned k = 0; k < numRest; ++k)
            assign(smaller, rest[k]);

        for (unsigned i = 0; i < sizes[0]; ++i)
            entries[i] = groups[0][i];
        count = static_cast<std::uint16_t>(sizes[0]);
        for (unsigned i = 0; i < sizes[1]; ++i)
            sibling.entries[i] = groups[1][i];
        sibling.count = static_cast<std::uint16_t>(sizes[1]);
    }

    void visit(const std::function<void(unsigned, unsigned)>& visitor) const {
        visitor(level, count);
        if (level > 0)
            for (unsigned i = 0; i < count; ++i)
                entries[i].child->visit(visitor);
    }

    std::uint16_t level;
    std::uint16_t count = 0;
    Entry entries[MaxEntries];
};

// The walk keeps one frame per level: the node and its next entry.
class MemoryRTree::Walker : public RTree::Iterator {
public:
    explicit Walker(const MemoryRTree& tree)
        : tree_(tree), numFrames_(tree.getRootLevel() + 1u), frames_(new Frame[numFrames_]) {
        reset();
    }
    ~Walker() override { delete[] frames_; }

    void reset() override {
        depth_ = 0;
        frames_[0].next = 0;
        frames_[0].node = tree_.root_;
    }

protected:
    bool advance(const Query& query, std::uint64_t& block) override {
        while (depth_ >= 0) {
            Frame& frame = frames_[depth_];
            if (frame.next >= frame.node->count) {
                --depth_;
                continue;
            }
            const Node::Entry& entry = frame.node->entries[frame.next++];
            if (!query.passes(entry.box)) continue;
            if (frame.node->level == 0) {
                block = entry.block;
                return true;
            }
            // A tree that grew after the iterator was made is walked no deeper than it was.
            if (static_cast<unsigned>(depth_) + 1 >= numFrames_) continue;
            ++depth_;
            frames_[depth_].next = 0;
            frames_[depth_].node = entry.child;
        }
        return false;
    }

private:
    struct Frame {
        KORVEL_XALLOC_OPERATORS

        unsigned next = 0;
        const Node* node = nullptr;
    };

    const MemoryRTree& tree_;
    unsigned numFrames_;
    Frame* frames_;
    int depth_ = 0;
};

MemoryRTree::MemoryRTree() : root_(new Node(0)) {}

MemoryRTree::~MemoryRTree() {
    delete root_;
}

unsigned MemoryRTree::getRootLevel() const {
    return root_->level;
}

void MemoryRTree::forEachNode(const std::function<void(unsigned, unsigned)>& visit) const {
    root_->visit(visit);
}

RTree::Iterator* MemoryRTree::createIterator() const {
    return new Walker(*this);
}

void MemoryRTree::insert(const double* box, std::uint64_t block) {
    Node::Entry entry;
    copyBox(entry.box, box);
    entry.block = block;
    std::unique_ptr<Node> sibling(root_->insert(entry));
    if (sibling) {
        // The root split: a new root one level up over the old root and its sibling.
        Node* top = new Node(static_cast<std::uint16_t>(root_->level + 1));
        root_->cover(top->entries[0].box);
        top->entries[0].child = root_;
        sibling->cover(top->entries[1].box);
        top->entries[1].child = sibling.release();
        top->count = 2;
        root_ = top;
    }
    ++numEntries_;
}

void MemoryRTree::load(BufferedIOReader& reader, std::int64_t bodyLength) {
    std::uint32_t count = 0;
    if (bodyLength < 4 || !BigEndian::read(reader, count))
        KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad read -- count");
    // Every box must lie inside the body before the first one is read.
    if (static_cast<std::int64_t>(count) > (bodyLength - 4) / BoxBytes)
        KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad read -- index bounds");
    for (std::uint32_t i = 0; i < count; ++i) {
        double box[6];
        for (double& value : box)
            if (!BigEndian::read(reader, value))
                KORVEL_FAIL(kFile, LoadFunction, ErrorCode::RTree, "bad read -- index bounds");
        insert(box, i);
    }
    reader.seek(bodyLength - 4 - BoxBytes * count, BufferedIOReader::FromCurrent);
}

} // namespace Korvel
