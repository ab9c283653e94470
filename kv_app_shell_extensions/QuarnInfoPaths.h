#pragma once
// The two ways the handler learns a file's compression: the raster path and the LiDAR path.
// Each opens the file with the decoding library and writes ratio and compressionKind only where
// it finds them.

#include "ComStream.h"

HRESULT readRasterInfo(IStream* stream, DWORD& ratio, DWORD& compressionKind);
HRESULT readLidarInfo(IStream* stream, DWORD& ratio, DWORD& compressionKind);
