#pragma once
// The two ways the handler learns a file's compression: the raster path over the library's
// byte stream, and the LiDAR path over the kernel's input. Each opens the file with the
// decoding library, reads headers only, and writes ratio and compressionKind only where it
// finds them.

#include "WinTypes.h"

class KVIO_IStreamStream;
class IStreamIO;

// S_OK, or the library's status returned as it stands (8 when the reader cannot be made), or
// E_FAIL when the library throws.
HRESULT readRasterInfo(KVIO_IStreamStream& stream, DWORD& ratio, DWORD& compressionKind);
// S_OK, or E_FAIL when the file cannot be opened as a LiDAR file.
HRESULT readLidarInfo(IStreamIO& io, DWORD& ratio, DWORD& compressionKind);

// The ratio text's number: the quotient formed in single precision, widened, rounded half up
// and truncated to 32 bits. A quotient beyond the 32-bit range is held at its nearest end.
DWORD roundedRatio(float quotient);
