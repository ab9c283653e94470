// The raster and LiDAR information paths, until the decoding library opens the files: the raster
// path leaves the compression unknown, and the LiDAR path checks the header the LiDAR reader
// accepts (magic and major version 4) so that any other version fails as it will there.

#include "QuarnInfoPaths.h"

HRESULT readRasterInfo(IStream*, DWORD&, DWORD&) {
    return S_OK;
}

HRESULT readLidarInfo(IStream* stream, DWORD&, DWORD&) {
    LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return E_FAIL;
    BYTE header[16] = {};
    ULONG delivered = 0;
    if (FAILED(stream->Read(header, sizeof header, &delivered)) || delivered < sizeof header)
        return E_FAIL;
    bool magicOk = header[0] == 'q' && header[1] == 'r' && header[2] == 'n' && header[3] == 'd';
    return magicOk && header[4] == 4 ? S_OK : E_FAIL;
}
