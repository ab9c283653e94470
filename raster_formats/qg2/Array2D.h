#pragma once
// A set of planes of one size (width x height samples, rows stride samples apart). A plane is
// absent until it is allocated or moved in from another set of the same size; a set frees the
// planes it owns. Planes move between sets with their ownership.
//
// A set may draw its planes from a pool, which keeps the memory of freed planes for the next ones:
// a decoder allocates and frees planes of the same sizes strip after strip, and asking the system
// for them each time costs more than the decoding (fresh pages to fault in and clear).

#include "QG2Status.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

template <class T> class PlanePool {
public:
    PlanePool() = default;
    PlanePool(const PlanePool&) = delete;
    PlanePool& operator=(const PlanePool&) = delete;
    ~PlanePool() { clear(); }

    // A buffer of at least n samples, not cleared: the smallest kept one that holds n, else a new
    // one (std::bad_alloc when memory runs out). Its capacity comes back in capacity.
    T* take(std::size_t n, std::size_t& capacity) {
        auto best = free_.end();
        for (auto it = free_.begin(); it != free_.end(); ++it)
            if (it->capacity >= n && (best == free_.end() || it->capacity < best->capacity))
                best = it;
        if (best == free_.end()) {
            capacity = n;
            return new T[n];
        }
        T* buffer = best->buffer;
        capacity = best->capacity;
        *best = free_.back();
        free_.pop_back();
        return buffer;
    }
    // Keeps a buffer for later (frees it when it cannot be kept).
    void give(T* buffer, std::size_t capacity) noexcept {
        try {
            free_.push_back(Kept{buffer, capacity});
        } catch (...) {
            delete[] buffer;
        }
    }
    // Frees every kept buffer.
    void clear() noexcept {
        for (const Kept& kept : free_)
            delete[] kept.buffer;
        free_.clear();
    }

private:
    struct Kept {
        T* buffer;
        std::size_t capacity;
    };
    std::vector<Kept> free_;
};

template <class T> class Array2D {
public:
    Array2D() = default;
    Array2D(std::uint32_t planes, std::uint32_t width, std::uint32_t height,
            PlanePool<T>* pool = nullptr)
        : pool_(pool) {
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
    // Where allocated planes come from (null: the system) and freed ones go.
    PlanePool<T>* getPool() const { return pool_; }
    void setPool(PlanePool<T>* pool) { pool_ = pool; }

    // Frees every plane and takes the new shape; the planes are absent.
    void resize(std::uint32_t planes, std::uint32_t width, std::uint32_t height) {
        planes_.clear();
        planes_.resize(planes);
        width_ = width;
        height_ = height;
    }
    // Allocates every plane that is absent, cleared to zero unless the caller writes every
    // sample itself (std::bad_alloc when memory runs out).
    void allocate(bool cleared = true) {
        const std::size_t samples = std::size_t{width_} * height_;
        for (auto& plane : planes_) {
            if (plane) continue;
            std::size_t capacity = samples;
            T* buffer = pool_ != nullptr ? pool_->take(samples, capacity) : new T[samples];
            plane = Plane(buffer, Release{pool_, capacity});
            if (cleared) std::fill_n(buffer, samples, T{});
        }
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
    // Frees a plane into the pool it came from, or to the system.
    struct Release {
        PlanePool<T>* pool = nullptr;
        std::size_t capacity = 0;
        void operator()(T* buffer) const noexcept {
            if (pool != nullptr)
                pool->give(buffer, capacity);
            else
                delete[] buffer;
        }
    };
    using Plane = std::unique_ptr<T[], Release>;

    std::vector<Plane> planes_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    PlanePool<T>* pool_ = nullptr;
};

} // namespace Korvel
