#pragma once
// Porter-Duff source-over of one scene buffer onto another, for the columns of a run mask (all
// columns without one), over the common part of the two windows. A buffer without alpha counts
// as opaque; the source's colours are straight or premultiplied by its colour space
// (KVI_COLORSPACE_PREMULTIPLIED_ALPHA), and a straight destination is un-premultiplied again.
// Alphas are normalised from [lo, hi] and the alpha factors are held in single precision; the
// integer types truncate toward zero (held within the type), float and double store as they are.
// Both buffers hold samples of type T.

#include <cstdint>

namespace Korvel {

class KVIRunMask;
class KVISceneBuffer;

template <typename T>
void compositeOver(const KVISceneBuffer& source, KVISceneBuffer& destination,
                   const KVIRunMask* mask, T lo, T hi);

extern template void compositeOver<std::uint8_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                                 const KVIRunMask*, std::uint8_t, std::uint8_t);
extern template void compositeOver<std::int8_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                                const KVIRunMask*, std::int8_t, std::int8_t);
extern template void compositeOver<std::uint16_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                                  const KVIRunMask*, std::uint16_t, std::uint16_t);
extern template void compositeOver<std::int16_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                                 const KVIRunMask*, std::int16_t, std::int16_t);
extern template void compositeOver<std::uint32_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                                  const KVIRunMask*, std::uint32_t, std::uint32_t);
extern template void compositeOver<std::int32_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                                 const KVIRunMask*, std::int32_t, std::int32_t);
extern template void compositeOver<float>(const KVISceneBuffer&, KVISceneBuffer&, const KVIRunMask*,
                                          float, float);
extern template void compositeOver<double>(const KVISceneBuffer&, KVISceneBuffer&,
                                           const KVIRunMask*, double, double);

} // namespace Korvel
