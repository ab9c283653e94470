#pragma once
// GDAL's translation between libgeotiff's keys and WKT. libgdal exports these two functions but
// installs no header that declares them; this is the one place that does.

#include <geo_normalize.h>

extern "C" {

// The WKT of the keys that GTIFGetDefn read, in GDAL's allocation (free with VSIFree), or null.
char* GTIFGetOGISDefn(GTIF* handle, GTIFDefn* definition);
// Sets the handle's keys from a WKT text; nonzero on success.
int GTIFSetFromOGISDefn(GTIF* handle, const char* wkt);
}
