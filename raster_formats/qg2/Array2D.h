#pragma once
// A set of planes of one size (width x height samples, rows stride samples apart). A plane is
// absent until it is allocated (cleared to zero) or moved in from another set of the same size;
// a set frees the planes it owns. Planes move between sets with their ownership.

#include "KVUtilException.h"
#include "QG2Status.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

template <class T> class Array2D {
public:
    Array2D() = default;
    Array2D(std::uint32_t planes, std::uint32_t width, std::uint32_t height) {
        resize(planes, width, height);
    }
    Array2D(const Array2D&) = delete;
    Array2D& operator=(const Array2D&) = delete;
    Array2D(Array2D&&) noexcept = default;
    Array2D& operator=(Array2D&&) noexcept = default;
    virtual ~Array2D() = default;

    std::uint32_t getNumPlanes() const { return static_cast<std::uint32_t>(planes_.size()); }
    std::uint32_t getWidth() const { return width_; }
    std::uint32_t getStride() const { return width_; }
    std::uint32_t getHeight() const { return height_; }
    bool hasPlane(std::uint32_t p) const { return p < planes_.size() && planes_[p] != nullptr; }

    // Frees every plane and takes the new shape; the planes are absent.
    void resize(std::uint32_t planes, std::uint32_t width, std::uint32_t height) {
        planes_.clear();
        planes_.resize(planes);
        width_ = width;
        height_ = height;
    }
    // Allocates every plane that is absent, cleared to zero (std::bad_alloc when memory runs out).
    void allocate() {
        const std::size_t samples = std::size_t{width_} * height_;
        for (auto& plane : planes_)
            if (!plane) plane = std::make_unique<T[]>(samples);
    }
    void freePlanes() {
        for (auto& plane : planes_)
            plane.reset();
    }

    // Plane p; KV_QG2_NO_PLANE when it is absent or beyond the set.
    T* plane(std::uint32_t p) const {
        if (!hasPlane(p)) throw KVUtilException(KV_QG2_NO_PLANE);
        return planes_[p].get();
    }
    T* row(std::uint32_t p, std::uint32_t y) const {
        return plane(p) + std::size_t{y} * getStride();
    }

    // Moves plane from of source into plane to of this set, freeing what was there.
    void movePlane(std::uint32_t to, Array2D& source, std::uint32_t from) {
        if (to >= planes_.size() || source.width_ != width_ || source.height_ != height_)
            throw KVUtilException(KV_QG2_BAD_PLANE_MOVE);
        if (!source.hasPlane(from)) throw KVUtilException(KV_QG2_NO_PLANE);
        planes_[to] = std::move(source.planes_[from]);
    }

private:
    std::vector<std::unique_ptr<T[]>> planes_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

} // namespace Korvel
