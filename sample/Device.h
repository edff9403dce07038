// What the virtual scanner is: its identity, its hardware description, its feeder, its vendor
// measurements, and the pages it scans, a synthetic pattern that is the same on every run.
#pragma once

#include "Capabilities.h"
#include "tracewell/twain.h"

constexpr int kFeederSheets = 3;

// Fills everything but the Id, which belongs to the Source Manager. To a TWAIN 2 Source Manager
// the scanner presents itself as a TWAIN 2 source.
void FillIdentity(TW_IDENTITY* identity, bool twain2);

void FillHardwareInfo(TWKV_HARDWAREINFO* info);

// Auto exposure of the region the application marked in a prescan; TWCC_SUCCESS or TWCC_BADVALUE.
TW_UINT16 MeasureExposure(TWKV_AUTOEXPOSURE* exposure);

// Unsharp-mask parameters for the resolution the application asks about; TWCC_SUCCESS or TWCC_BADVALUE.
TW_UINT16 DescribeUnsharpMask(TWKV_USMINFO* info, TW_UINT16 level);

// The image the current settings give, fixed when the source is enabled.
struct ImageGeometry {
    TW_FIX32 xResolution;
    TW_FIX32 yResolution;
    TW_FRAME frame;
    TW_INT32 width;
    TW_INT32 length;
    TW_INT16 pixelType;
    TW_INT16 samplesPerPixel;
    TW_INT16 bitsPerSample;
    TW_UINT32 bytesPerRow;

    TW_INT16 BitsPerPixel() const { return static_cast<TW_INT16>(samplesPerPixel * bitsPerSample); }
};

// What a native transfer hands over: this header, then `length` rows of `bytesPerRow` bytes.
struct CorvaleNativeImage {
    TW_UINT32 width;
    TW_UINT32 length;
    TW_UINT32 bitsPerPixel;
    TW_UINT32 bytesPerRow;
};

ImageGeometry GeometryOf(const CCapabilities& capabilities);

void FillImageInfo(const ImageGeometry& geometry, TW_IMAGEINFO* info);

// Writes rows [firstRow, firstRow + rows) of page `page` (0 for the first), bytesPerRow each.
void RenderRows(const ImageGeometry& geometry, int page, TW_INT32 firstRow, TW_INT32 rows, TW_UINT8* out);
