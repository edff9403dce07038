// The virtual scanner's fixed facts and its synthetic pages.
#include "Device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// The model a build of the scanner presents itself as; the tests build a second one.
#ifndef CORVALE_PRODUCT_NAME
#define CORVALE_PRODUCT_NAME "Corvale F40"
#endif

namespace {

constexpr double kPrescanResolution = 75.0;

struct UnsharpMaskPreset {
    TW_UINT16 level;
    TWKV_USMPARAM parameters;
};

const UnsharpMaskPreset kUnsharpMaskPresets[] = {
    {TWKV_USM_LOW, {60, 1, 4}},
    {TWKV_USM_MEDIUM, {120, 1, 3}},
    {TWKV_USM_HIGH, {200, 2, 2}},
};

template <size_t N>
void CopyText(char (&field)[N], const char* text) {
    strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

void PascalString(TW_UINT8* field, size_t fieldSize, const char* text) {
    const size_t length = std::min(strlen(text), fieldSize - 1);
    field[0] = static_cast<TW_UINT8>(length);
    memcpy(field + 1, text, length);
}

void Matrix(TW_FIX32* coefficients, const double (&values)[9]) {
    for (int i = 0; i < 9; ++i) coefficients[i] = ToFix32(values[i]);
}

// The grey level of the pattern: diagonal ramps, shifted page by page.
TW_UINT8 Level(TW_INT32 x, TW_INT32 y, int page) { return static_cast<TW_UINT8>((x + y) / 4 + page * 64); }

void RenderRow(const ImageGeometry& geometry, int page, TW_INT32 y, TW_UINT8* row) {
    memset(row, 0, geometry.bytesPerRow);
    for (TW_INT32 x = 0; x < geometry.width; ++x) {
        switch (geometry.pixelType) {
            case TWPT_BW:
                if (((x / 32 + y / 32 + page) & 1) != 0) row[x / 8] |= static_cast<TW_UINT8>(0x80 >> (x % 8));
                break;
            case TWPT_GRAY: row[x] = Level(x, y, page); break;
            default:
                row[3 * x] = static_cast<TW_UINT8>(x * 255 / geometry.width);
                row[3 * x + 1] = static_cast<TW_UINT8>(y * 255 / geometry.length);
                row[3 * x + 2] = Level(x, y, page);
                break;
        }
    }
}

}  // namespace

void FillIdentity(TW_IDENTITY* identity, bool twain2) {
    const TW_ID id = identity->Id;
    memset(identity, 0, sizeof(*identity));
    identity->Id = id;
    identity->Version.MajorNum = 2;
    identity->Version.MinorNum = 3;
    identity->Version.Language = static_cast<TW_UINT16>(TWLG_ENGLISH_USA);
    identity->Version.Country = TWCY_USA;
    CopyText(identity->Version.Info, "2.3.0 virtual scanner");
    identity->ProtocolMajor = twain2 ? 2 : 1;
    identity->ProtocolMinor = twain2 ? 4 : 9;
    identity->SupportedGroups = DG_CONTROL | DG_IMAGE | (twain2 ? DF_DS2 : 0);
    CopyText(identity->Manufacturer, "KOVAR");
    CopyText(identity->ProductFamily, "Corvale");
    CopyText(identity->ProductName, CORVALE_PRODUCT_NAME);
}

void FillHardwareInfo(TWKV_HARDWAREINFO* info) {
    static const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    static const double kReflective[9] = {1.082, -0.061, -0.021, -0.043, 1.071, -0.028, -0.012, -0.087, 1.099};
    memset(info, 0, sizeof(*info));
    info->ModelID = 0x2A;
    PascalString(info->ProductName, sizeof(info->ProductName), CORVALE_PRODUCT_NAME);
    PascalString(info->ModelName, sizeof(info->ModelName), "CV-F40");
    info->OptXResolution = 1200;
    info->OptYResolution = 1200;
    info->MinResolution = 75;
    info->MaxResolution = 1200;
    info->MaxMoireResolution = 600;
    info->MaxPixelofWidth = 10200;
    info->PixelSizeofFB[0] = info->PixelSizeofADF[0] = 10200;
    info->PixelSizeofFB[1] = info->PixelSizeofADF[1] = 16800;
    info->BitDepth = 0x10;
    info->InterfaceSupport = 3;
    info->CommandType = 2;
    info->ConnectInterfaceType = 1;
    info->FullAutoModeSupport = info->SimpleModeSupport = info->DocumentModeSupport = 1;
    info->AdvancedModeSupport = info->AutoLayoutSupportFB = info->AutoLayoutSupportADF = 1;
    info->HalftoneSupport = info->HTModeSupport = info->HTDitherSupport = 1;
    info->OptionSupport = 0x0012;
    CopyText(info->ProfileNameFB, "CorvaleF40_Reflective.icc");
    Matrix(info->ColorCorrectionFB, kReflective);
    Matrix(info->ColorCorrectionPOSI, kIdentity);
    Matrix(info->ColorCorrectionNEGA, kIdentity);
    Matrix(info->TCMColorCorrectionFB, kReflective);
    Matrix(info->TCMColorCorrectionPOSI, kIdentity);
    Matrix(info->TCMColorCorrectionNEGA, kIdentity);
    CopyText(info->ROMVersion, "1.07");
}

// The region is given in prescan pixels; the grey balance is the region's mean level in the prescan.
TW_UINT16 MeasureExposure(TWKV_AUTOEXPOSURE* exposure) {
    const TW_INT32 prescanWidth = static_cast<TW_INT32>(kScanAreaWidth * kPrescanResolution);
    const TW_INT32 prescanLength = static_cast<TW_INT32>(kScanAreaHeight * kPrescanResolution);
    if (exposure->Left < 0 || exposure->Top < 0 || exposure->Left >= exposure->Right ||
        exposure->Top >= exposure->Bottom || exposure->Right > prescanWidth || exposure->Bottom > prescanLength ||
        exposure->FilmType > TWKV_FT_REFLECTIVEDOCUMENT)
        return TWCC_BADVALUE;
    uint64_t sum = 0;
    for (TW_INT32 y = exposure->Top; y < exposure->Bottom; ++y) {
        for (TW_INT32 x = exposure->Left; x < exposure->Right; ++x) sum += Level(x, y, 0);
    }
    const uint64_t pixels = uint64_t(exposure->Right - exposure->Left) * uint64_t(exposure->Bottom - exposure->Top);
    const bool negative = exposure->FilmType == TWKV_FT_NEGA || exposure->FilmType == TWKV_FT_BWNEGA;
    exposure->Handle = 0x4B560001;
    exposure->PreScanGamma = negative ? TWKV_PG_10 : TWKV_PG_18;
    exposure->ScreenGamma = ToFix32(negative ? 1.0 : 2.2);
    exposure->GrayBalance = static_cast<TW_UINT16>(sum / pixels);
    return TWCC_SUCCESS;
}

TW_UINT16 DescribeUnsharpMask(TWKV_USMINFO* info, TW_UINT16 level) {
    if (info->InputResolution < 75 || info->InputResolution > 1200) return TWCC_BADVALUE;
    for (const UnsharpMaskPreset& preset : kUnsharpMaskPresets) {
        if (preset.level != level) continue;
        info->InUSMLevel = level;
        info->InFilmType = TWKV_FT_REFLECTIVE;
        info->USMParm = preset.parameters;
        info->USMParm.Radius = static_cast<TW_INT16>(info->USMParm.Radius + info->InputResolution / 300);
        info->ReviseParm.InputRevise = {0, 12, 250, 236};
        info->ReviseParm.OutputRevise = {0, 8, 255, 240};
        info->ReviseParm.BlurMax = 3;
        return TWCC_SUCCESS;
    }
    return TWCC_BADVALUE;
}

ImageGeometry GeometryOf(const CCapabilities& capabilities) {
    ImageGeometry geometry = {};
    geometry.xResolution = capabilities.Current<TW_FIX32>(ICAP_XRESOLUTION);
    geometry.yResolution = capabilities.Current<TW_FIX32>(ICAP_YRESOLUTION);
    geometry.frame = capabilities.Current<TW_FRAME>(ICAP_FRAMES);
    const double inchesWide = FromFix32(geometry.frame.Right) - FromFix32(geometry.frame.Left);
    const double inchesLong = FromFix32(geometry.frame.Bottom) - FromFix32(geometry.frame.Top);
    geometry.width = static_cast<TW_INT32>(std::max(1L, lround(inchesWide * FromFix32(geometry.xResolution))));
    geometry.length = static_cast<TW_INT32>(std::max(1L, lround(inchesLong * FromFix32(geometry.yResolution))));
    geometry.pixelType = static_cast<TW_INT16>(capabilities.Current<TW_UINT16>(ICAP_PIXELTYPE));
    geometry.samplesPerPixel = geometry.pixelType == TWPT_RGB ? 3 : 1;
    geometry.bitsPerSample =
        static_cast<TW_INT16>(capabilities.Current<TW_UINT16>(ICAP_BITDEPTH) / geometry.samplesPerPixel);
    geometry.bytesPerRow = static_cast<TW_UINT32>((geometry.width * geometry.BitsPerPixel() + 7) / 8);
    return geometry;
}

void FillImageInfo(const ImageGeometry& geometry, TW_IMAGEINFO* info) {
    memset(info, 0, sizeof(*info));
    info->XResolution = geometry.xResolution;
    info->YResolution = geometry.yResolution;
    info->ImageWidth = geometry.width;
    info->ImageLength = geometry.length;
    info->SamplesPerPixel = geometry.samplesPerPixel;
    for (int i = 0; i < geometry.samplesPerPixel; ++i) info->BitsPerSample[i] = geometry.bitsPerSample;
    info->BitsPerPixel = geometry.BitsPerPixel();
    info->Planar = 0;
    info->PixelType = geometry.pixelType;
    info->Compression = TWCP_NONE;
}

void RenderRows(const ImageGeometry& geometry, int page, TW_INT32 firstRow, TW_INT32 rows, TW_UINT8* out) {
    for (TW_INT32 i = 0; i < rows; ++i) RenderRow(geometry, page, firstRow + i, out + size_t(i) * geometry.bytesPerRow);
}
