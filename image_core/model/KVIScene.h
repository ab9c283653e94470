#pragma once
// A rectangle of an image at a magnification: upper-left corner, width and height in pixels at
// that magnification. The whole-pixel views round with floor(v + 0.5).

#include <cstdint>

namespace Korvel {

class KVIScene {
public:
    // The invalid scene: all zeros at magnification -1.0.
    KVIScene() = default;
    KVIScene(double x, double y, double width, double height, double magnification)
        : x_(x), y_(y), width_(width), height_(height), magnification_(magnification) {}

    bool operator!=(const KVIScene& other) const;
    bool operator==(const KVIScene& other) const { return !(*this != other); }

    double getX() const { return x_; }
    double getY() const { return y_; }
    double getWidth() const { return width_; }
    double getHeight() const { return height_; }
    double getMagnification() const { return magnification_; }
    double getRight() const { return x_ + width_; }
    double getBottom() const { return y_ + height_; }

    std::int32_t getUpperLeftCol() const;
    std::int32_t getUpperLeftRow() const;
    std::int32_t getLowerRightCol() const;
    std::int32_t getLowerRightRow() const;
    std::int32_t getNumCols() const;
    std::int32_t getNumRows() const;

private:
    double x_ = 0.0;
    double y_ = 0.0;
    double width_ = 0.0;
    double height_ = 0.0;
    double magnification_ = -1.0;
};

} // namespace Korvel
