// The LiDAR path, until the kernel's point reader opens files: the header the reader accepts
// (magic and major version 4) is checked, so that any other version fails as it will there.

#include "QuarnInfoPaths.h"
#include "IStreamIO.h"

HRESULT readLidarInfo(IStreamIO& io, DWORD&, DWORD&) {
    try {
        unsigned char header[8] = {};
        if (io.pread(0, header, sizeof header) < static_cast<std::int64_t>(sizeof header))
            return E_FAIL;
        bool magicOk = header[0] == 'q' && header[1] == 'r' && header[2] == 'n' && header[3] == 'd';
        return magicOk && header[4] == 4 ? S_OK : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}
