// Every structure the formatters render, written as a call's result and read back through the
// trace reader: each field comes back under its structure's path with the value the structure
// held, in the order written, and no field more or less. The values lie at the edges of their
// sign and width, beyond the tables and without their NUL, and each structure is placed so that a
// read past its end faults.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>
#include <cwchar>

#include <fmt/format.h>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/TraceFormat.h"
#include "support/TestSupport.h"
#include "support/TraceCalls.h"

namespace {

// ---- the values as the test formats them --------------------------------------------------------

// The k-th of a run of distinct TW_FIX32 values, and its text: three decimals of Whole + Frac/65536.
TW_FIX32 Fix(int k) { return TW_FIX32{static_cast<TW_INT16>(k - 40), static_cast<TW_UINT16>(k * 0x0A3D + 0x1000)}; }
std::string FixText(const TW_FIX32& f) { return fmt::format("{:.3f}", f.Whole + f.Frac / 65536.0); }

// A printed pointer's text: the low 32 bits.
std::string PointerText(uintptr_t bits) { return fmt::format("<0x{:08x}>", static_cast<uint32_t>(bits)); }
std::string PointerText(const void* p) { return PointerText(reinterpret_cast<uintptr_t>(p)); }

const std::string kNotImplemented = std::string(traceformat::kFaultOpen) + "not implemented" + traceformat::kFaultClose;

// ---- what the reader must give back -------------------------------------------------------------

// A field as the reader gives it back: its structure's path, key and value.
using Shown = std::tuple<std::string, std::string, std::string>;

// The fields a rendering must show, collected as the test fills the structure: each under the
// structure headers open at that point. A label ("Version =") names the structure that follows.
class Expect {
public:
    Expect& Open(const std::string& name) {
        m_paths.push_back(m_paths.empty() ? name : m_paths.back() + "/" + name);
        return *this;
    }
    Expect& Close() {
        m_paths.pop_back();
        return *this;
    }
    Expect& Field(const std::string& key, const std::string& value) {
        fields.push_back({m_paths.empty() ? std::string() : m_paths.back(), key, value});
        return *this;
    }
    Expect& Label(const std::string& key) { return Field(key, ""); }
    Expect& Number(const std::string& key, long long value) { return Field(key, std::to_string(value)); }
    Expect& Fixed(const std::string& key, const TW_FIX32& value) { return Field(key, FixText(value)); }

    std::vector<Shown> fields;

private:
    std::vector<std::string> m_paths;
};

struct Case {
    std::string text;  // the call's result section as written
    const void* data;  // its data pointer
    Expect expected;
};

struct Row {
    std::string name;
    std::function<Case()> make;
};
void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

// The result section of a call whose data pointer is `data`, through the DAT dispatch.
std::string Result(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, const void* data) {
    return Render([&](CParaAnalyze& a) {
        a.ParaAnalyze(nullptr, nullptr, dg, dat, msg, static_cast<char*>(const_cast<void*>(data)), TWRC_SUCCESS,
                      a.Output());
    });
}

// A structure of type T that outlives the row's call, so that its address stays its own, and
// whose last byte is the last readable one, so that a read past it faults.
template <typename T>
T& Held() {
    static GuardedBytes bytes(sizeof(T));
    return *new (bytes.Data()) T();
}

// In the macos build the DAT renders no structure.
constexpr bool kLinuxOnly = true;

// A row for a structure of type T that the DAT carries: `fill` sets its fields, each with the
// field it must show.
template <typename T>
Row Structure(std::string name, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void (*fill)(T&, Expect&),
              bool linuxOnly = false) {
    return {std::move(name), [=] {
                Case c;
                T& value = Held<T>();
                fill(value, c.expected);
                c.data = &value;
                c.text = Result(dg, dat, msg, &value);
                if (linuxOnly && !kLinux) c.expected.fields.clear();
                return c;
            }};
}

// ---- session, control, image and colour structures ----------------------------------------------

// The Id keeps its width and sign: 8 bytes and signed, or 4 bytes and unsigned.
#if defined(TRACEWELL_ABI_MACOS)
constexpr TW_ID kWideId = -0x500000000ll;
const std::string kWideIdText = "-21474836480";
#else
constexpr TW_ID kWideId = 0xFFFFFFFBu;
const std::string kWideIdText = "4294967291";
#endif

void Memory(TW_MEMORY& m, int k, Expect& e) {
    m.Flags = static_cast<TW_UINT32>(0x10 + k);
    m.Length = static_cast<TW_UINT32>(1000 + k);
    m.TheMem = PointerValue<TW_MEMREF>(0x7000 + 0x100 * static_cast<uintptr_t>(k));
    e.Open("TW_MEMORY").Field("Flags", fmt::format("{:#x}", 0x10 + k)).Number("Length", 1000 + k);
    e.Field("TheMem", PointerText(m.TheMem)).Close();
}

void Element(TW_ELEMENT8& el, int k, Expect& e) {
    el = {static_cast<TW_UINT8>(k), static_cast<TW_UINT8>(k + 1), static_cast<TW_UINT8>(k + 2),
          static_cast<TW_UINT8>(k + 3)};
    e.Open("TW_ELEMENT8").Number("Index", k).Number("Channel1", k + 1).Number("Channel2", k + 2);
    e.Number("Channel3", k + 3).Close();
}

// Fills `k` on from the fields of a TW_CIEPOINT and the stage's functions and matrix.
void Point(TW_CIEPOINT& p, int k, Expect& e) {
    p = {Fix(k), Fix(k + 1), Fix(k + 2)};
    e.Open("TW_CIEPOINT").Fixed("X", p.X).Fixed("Y", p.Y).Fixed("Z", p.Z).Close();
}

void Stage(TW_TRANSFORMSTAGE& s, int k, Expect& e) {
    e.Open("TW_TRANSFORMSTAGE");
    for (int d = 0; d < 3; ++d) {
        TW_DECODEFUNCTION& f = s.Decode[d];
        const int b = k + 8 * d;
        f = {Fix(b), Fix(b + 1), Fix(b + 2), Fix(b + 3), Fix(b + 4), Fix(b + 5), Fix(b + 6), Fix(b + 7)};
        e.Label("Decode[" + std::to_string(d) + "]").Open("TW_DECODEFUNCTION");
        e.Fixed("StartIn", f.StartIn).Fixed("BreakIn", f.BreakIn).Fixed("EndIn", f.EndIn);
        e.Fixed("StartOut", f.StartOut).Fixed("BreakOut", f.BreakOut).Fixed("EndOut", f.EndOut);
        e.Fixed("Gamma", f.Gamma).Fixed("SampleCount", f.SampleCount).Close();
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            s.Mix[i][j] = Fix(k + 24 + 3 * i + j);
            e.Fixed("Mix[" + std::to_string(i) + "][" + std::to_string(j) + "]", s.Mix[i][j]);
        }
    e.Close();
}

std::vector<Row> StructureRows() {
    return {
        Structure<TW_IDENTITY>("Identity", DG_CONTROL, DAT_IDENTITY, MSG_GET, [](TW_IDENTITY& id, Expect& e) {
            id.Id = kWideId;
            id.Version = {0xFFFF, 3, 0x8000, 0xFFFF, ""};  // beyond the language and country tables
            memset(id.Version.Info, 'I', sizeof(id.Version.Info));  // without their NUL
            memset(id.Manufacturer, 'M', sizeof(id.Manufacturer));
            id.ProtocolMajor = 2;
            id.ProtocolMinor = 5;
            id.SupportedGroups = 0x80000003u;
            strcpy(id.ProductFamily, "Family");
            strcpy(id.ProductName, "Product");
            e.Open("TW_IDENTITY").Field("Id", kWideIdText).Label("Version");
            e.Open("TW_VERSION").Number("MajorNum", 65535).Number("MinorNum", 3).Field("Language", "ERROR!(32768)");
            e.Field("Country", "ERROR!(65535)").Field("Info", std::string(34, 'I')).Close();
            e.Number("ProtocolMajor", 2).Number("ProtocolMinor", 5).Number("SupportedGroups", 2147483651);
            e.Field("Manufacturer", std::string(34, 'M')).Field("ProductFamily", "Family").Field("ProductName", "Product");
        }),
        Structure<TW_EVENT>("Event", DG_CONTROL, DAT_EVENT, MSG_GET, [](TW_EVENT& ev, Expect& e) {
            ev = {PointerValue<TW_MEMREF>(0x1234567887654321ull), 0x8001};
            e.Open("TW_EVENT").Field("pEvent", "<0x87654321>").Field("TWMessage", "MSG_KV_TIMERRESET");
        }),
        Structure<TW_PENDINGXFERS>("PendingXfers", DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, [](TW_PENDINGXFERS& p, Expect& e) {
            p = {0xFFFF, 0x80000002u};
            e.Open("TW_PENDINGXFERS").Number("Count", -1).Number("EOJ", 2147483650);
        }),
        Structure<TW_SETUPMEMXFER>("SetupMemXfer", DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, [](TW_SETUPMEMXFER& s, Expect& e) {
            s = {16, 0xFFFFFFFFu, 0x80000000u};
            e.Open("TW_SETUPMEMXFER").Number("MinBufSize", 16).Number("MaxBufSize", 4294967295);
            e.Number("Preferred", 2147483648);
        }),
        Structure<TW_SETUPFILEXFER>("SetupFileXfer", DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET,
                                    [](TW_SETUPFILEXFER& s, Expect& e) {
            memset(s.FileName, 'g', sizeof(s.FileName));  // no NUL: the field's width bounds it
            s.Format = TWFF_JFIF;
            s.VRefNum = -1;
            e.Open("TW_SETUPFILEXFER").Field("FileName", std::string(sizeof(s.FileName), 'g')).Field("Format", "TWFF_JFIF");
            e.Number("VRefNum", -1);
        }),
        Structure<TW_STATUS>("Status", DG_CONTROL, DAT_STATUS, MSG_GET, [](TW_STATUS& s, Expect& e) {
            s = {7, 0x1234};  // a code the table skips
            e.Open("TW_STATUS").Field("ConditionCode", "ERROR!(7)");
        }),
        Structure<TW_USERINTERFACE>("UserInterface", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS,
                                    [](TW_USERINTERFACE& u, Expect& e) {
            u = {2, 0, PointerValue<TW_HANDLE>(0x00007FFF0BADF00Dull)};
            e.Open("TW_USERINTERFACE").Field("ShowUI", "true").Field("ModalUI", "false").Field("hParent", "<0x0badf00d>");
        }),
        Structure<TW_CUSTOMDSDATA>("CustomDsData", DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET, [](TW_CUSTOMDSDATA& d, Expect& e) {
            d = {0xFFFFFFFEu, nullptr};
            e.Open("TW_CUSTOMDSDATA").Number("InfoLength", -2).Field("hData", "<0x00000000>");
        }),
        Structure<TW_UINT32>("XferGroupValue", DG_CONTROL, DAT_XFERGROUP, MSG_GET, [](TW_UINT32& group, Expect& e) {
            group = 0x0BADF00D;
            e.Open("TW_UINT32").Field("Item", PointerText(0x0BADF00D));
        }),
        Structure<TW_IMAGEINFO>("ImageInfo", DG_IMAGE, DAT_IMAGEINFO, MSG_GET, [](TW_IMAGEINFO& i, Expect& e) {
            i = {{300, 0x8000}, {-2, 0xC000}, 2550, -3, 3, {20, 19, 18, 0, 0, 0, 0, -1}, 24, 1, -1, 0xFFFF};
            e.Open("TW_IMAGEINFO").Field("XResolution", "300.500").Field("YResolution", "-1.250");
            e.Number("ImageWidth", 2550).Number("ImageLength", -3).Number("SamplesPerPixel", 3);
            e.Field("BitsPerSamples[]", "20,19,18,0,0,0,0,-1").Number("BitsPerPixel", 24).Field("Planar", "true");
            e.Field("PixelType", "ERROR!(-1)").Field("Compression", "ERROR!(65535)");
        }),
        Structure<TW_IMAGELAYOUT>("ImageLayout", DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, [](TW_IMAGELAYOUT& l, Expect& e) {
            l = {{Fix(5), {-2, 0xC000}, Fix(7), Fix(8)}, 0xFFFFFFFFu, 12, 13};
            e.Open("TW_IMAGELAYOUT").Label("Frame").Open("TW_FRAME").Fixed("Left", Fix(5)).Field("Top", "-1.250");
            e.Fixed("Right", Fix(7)).Fixed("Bottom", Fix(8)).Close();
            e.Number("DocumentNumber", 4294967295).Number("PageNumber", 12).Number("FrameNumber", 13);
        }),
        Structure<TW_IMAGEMEMXFER>("ImageMemXfer", DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, [](TW_IMAGEMEMXFER& m, Expect& e) {
            m = {TWCP_JPEG, 0x80000000u, 200, 300, 4, 5, 60000, {0x11, 0xFFFFFFFFu,
                PointerValue<TW_MEMREF>(0x0000000300C0FFEEull)}};
            e.Open("TW_IMAGEMEMXFER").Field("Compression", "TWCP_JPEG").Number("BytesPerRow", 2147483648);
            e.Number("Columns", 200).Number("Rows", 300).Number("XOffset", 4).Number("YOffset", 5);
            e.Number("BytesWritten", 60000).Label("Memory").Open("TW_MEMORY").Field("Flags", "0x11");
            e.Number("Length", 4294967295).Field("TheMem", "<0x00c0ffee>").Close();
        }),
        // Each table's label and the header of its TW_MEMORY share one line.
        Structure<TW_JPEGCOMPRESSION>("JpegCompression", DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_GET,
                                      [](TW_JPEGCOMPRESSION& j, Expect& e) {
            j = {TWPT_YUV, 0x80220011u, 3, 65535, {1, 2, 3, 4}, {}, {5, 6, 7, 8}, {}, {}};
            e.Open("TW_JPEGCOMPRESSION").Field("ColorSpace", "TWPT_YUV").Number("SubSampling", 0x80220011u);
            e.Number("NumComponents", 3).Number("RestartFrequency", 65535).Field("QuantMap[]", "1,2,3,4");
            for (int i = 0; i < 4; ++i) Memory(j.QuantTable[i], 2 + i, e.Label("QuantTable[" + std::to_string(i) + "]"));
            e.Field("HuffmanMap[]", "5,6,7,8");
            for (int i = 0; i < 2; ++i) Memory(j.HuffmanDC[i], 6 + i, e.Label("HuffmanDC[" + std::to_string(i) + "]"));
            for (int i = 0; i < 2; ++i) Memory(j.HuffmanAC[i], 8 + i, e.Label("HuffmanAC[" + std::to_string(i) + "]"));
        }),
        // The palette's colours are not shown: its one line says so.
        Structure<TW_PALETTE8>("Palette8", DG_IMAGE, DAT_PALETTE8, MSG_GET, [](TW_PALETTE8& p, Expect& e) {
            p.NumColors = 256;
            e.Field("TW_PALETTE8", "it does not display.");
        }),
        Structure<TW_EXTIMAGEINFO>("ExtImageInfo", DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, [](TW_EXTIMAGEINFO& x, Expect& e) {
            // NumInfos claims five entries; the one the structure holds is all that is read.
            x = {5, {{0x1234, TWTY_STR255, 3, TWRC_INFONOTSUPPORTED, 0xFFFFFFFFu}}};
            e.Open("TW_EXTIMAGEINFO").Number("NumInfos", 5).Label("Info").Open("TW_INFO");
            e.Field("InfoID", kLinux ? "TWEI_SKEWWINDOWY3" : "4660");
            e.Field("ItemType", "TWTY_STR255").Number("NumItems", 3).Field("CondCode", "TWRC_INFONOTSUPPORTED");
            e.Number("Item", 4294967295).Close();
        }),
        Structure<TW_CIECOLOR>("CieColor", DG_IMAGE, DAT_CIECOLOR, MSG_GET, [](TW_CIECOLOR& cie, Expect& e) {
            cie = {TWPT_CIEXYZ, 1, 2, 3, {}, {}, {}, {}, {}, {}, {}};
            e.Open("TW_CIECOLOR").Field("ColorSpace", "TWPT_CIEXYZ").Number("LowEndian", 1);
            e.Number("DeviceDependent", 2).Number("VersionNumber", 3);
            Stage(cie.StageABC, 1, e.Label("StageABC"));
            Stage(cie.StageLMN, 101, e.Label("StageLMN"));
            Point(cie.WhitePoint, 201, e.Label("WhitePoint"));
            Point(cie.BlackPoint, 204, e.Label("BlackPoint"));
            Point(cie.WhitePaper, 207, e.Label("WhitePaper"));
            Point(cie.BlackInk, 210, e.Label("BlackInk"));
            cie.Samples[0] = Fix(213);
            e.Fixed("Samples[]", cie.Samples[0]);
        }),
        Structure<TW_GRAYRESPONSE>("GrayResponse", DG_IMAGE, DAT_GRAYRESPONSE, MSG_GET, [](TW_GRAYRESPONSE& g, Expect& e) {
            Element(g.Response[0], 252, e.Open("TW_GRAYRESPONSE").Label("Response[0]"));  // declared with one element
        }),
        Structure<TW_RGBRESPONSE>("RgbResponse", DG_IMAGE, DAT_RGBRESPONSE, MSG_GET, [](TW_RGBRESPONSE& r, Expect& e) {
            Element(r.Response[0], 128, e.Open("TW_RGBRESPONSE").Label("Response[0]"));
        }),
    };
}

// ---- capability containers, for every item type ---------------------------------------------

using Bytes = std::vector<uint8_t>;

template <typename T>
void Put(Bytes& block, size_t offset, const T& value) {
    if (block.size() < offset + sizeof(T)) block.resize(offset + sizeof(T));
    memcpy(block.data() + offset, &value, sizeof(T));
}

// An item type: its width in a container and, for the k-th item, the bytes it puts there and
// the text the trace shows for it.
struct ItemKind {
    const char* name;
    TW_UINT16 type;
    size_t width;
    bool inLists;  // rendered in an item list too
    std::function<std::string(Bytes&, size_t, int)> put;
};

template <typename T>
std::string PutText(Bytes& block, size_t offset, const T& value, const std::string& text) {
    Put(block, offset, value);
    return text;
}

template <size_t N>
std::string PutString(Bytes& block, size_t offset, const std::string& text) {
    char field[N] = {};
    memcpy(field, text.data(), text.size());
    return PutText(block, offset, field, text);
}

const char* const kPixelTypes[] = {"TWPT_BW",   "TWPT_GRAY", "TWPT_RGB",  "TWPT_PALETTE", "TWPT_CMY",
                                   "TWPT_CMYK", "TWPT_YUV",  "TWPT_YUVK", "TWPT_CIEXYZ"};

// A kind whose k-th item is the T `value(k)`, shown as `text(k)`.
template <typename T>
ItemKind Kind(const char* name, TW_UINT16 type, T (*value)(int), std::string (*text)(int), bool inLists = true) {
    return {name, type, sizeof(T), inLists, [=](Bytes& b, size_t at, int k) { return PutText(b, at, value(k), text(k)); }};
}

template <size_t N>
ItemKind TextKind(const char* name, TW_UINT16 type, const char* words, const char* end = "") {
    return {name, type, N, true, [=](Bytes& b, size_t at, int k) { return PutString<N>(b, at, words + std::to_string(k) + end); }};
}

const std::vector<ItemKind>& ItemKinds() {
    static const std::vector<ItemKind> kinds = {
        Kind<TW_INT8>("TWTY_INT8", TWTY_INT8, [](int k) { return TW_INT8(0x31 + k); },
                      [](int k) { return fmt::format("{:#04x}", 0x31 + k); }),
        Kind<TW_INT16>("TWTY_INT16", TWTY_INT16, [](int k) { return TW_INT16(-300 - k); },
                       [](int k) { return std::to_string(-300 - k); }),
        Kind<TW_INT32>("TWTY_INT32", TWTY_INT32, [](int k) { return TW_INT32(-70000 - k); },
                       [](int k) { return std::to_string(-70000 - k); }),
        Kind<TW_UINT8>("TWTY_UINT8", TWTY_UINT8, [](int k) { return TW_UINT8(0xA0 + k); },
                       [](int k) { return fmt::format("{:#04x}", 0xA0 + k); }),
        // Items of ICAP_PIXELTYPE show the names of their values.
        Kind<TW_UINT16>("TWTY_UINT16", TWTY_UINT16, [](int k) { return TW_UINT16(k % 9); },
                        [](int k) { return std::string(kPixelTypes[k % 9]); }),
        Kind<TW_UINT32>("TWTY_UINT32", TWTY_UINT32, [](int k) { return TW_UINT32(100000 + k); },
                        [](int k) { return std::to_string(100000 + k); }),
        Kind<TW_BOOL>("TWTY_BOOL", TWTY_BOOL, [](int k) { return TW_BOOL(k % 2); },
                      [](int k) { return std::string(k % 2 ? "true" : "false"); }),
        Kind<TW_FIX32>("TWTY_FIX32", TWTY_FIX32, [](int k) { return Fix(k); }, [](int k) { return FixText(Fix(k)); }),
        Kind<TW_FRAME>(
            "TWTY_FRAME", TWTY_FRAME, [](int k) { return TW_FRAME{Fix(4 * k), Fix(4 * k + 1), Fix(4 * k + 2), Fix(4 * k + 3)}; },
            [](int k) { return fmt::format("{},{},{},{}", FixText(Fix(4 * k)), FixText(Fix(4 * k + 1)), FixText(Fix(4 * k + 2)),
                                           FixText(Fix(4 * k + 3))); },
            kLinux),
        // Each text ends in the separator that follows every item but the last.
        TextKind<sizeof(TW_STR32)>("TWTY_STR32", TWTY_STR32, "thirty-two ", ","),
        TextKind<sizeof(TW_STR64)>("TWTY_STR64", TWTY_STR64, "sixty-four "),
        TextKind<sizeof(TW_STR128)>("TWTY_STR128", TWTY_STR128, "one two eight "),
        TextKind<sizeof(TW_STR255)>("TWTY_STR255", TWTY_STR255, "two five five "),
        // The macos build does not render the TWAIN 2.5 text types.
        {"TWTY_STR1024", TWTY_STR1024, sizeof(TW_STR1024), kLinux,
         [](Bytes& b, size_t at, int k) {
             const std::string text = PutString<sizeof(TW_STR1024)>(b, at, "ten twenty-four " + std::to_string(k));
             return kLinux ? text : kNotImplemented;
         }},
        {"TWTY_UNI512", TWTY_UNI512, sizeof(TW_UNI512), kLinux,
         [](Bytes& b, size_t at, int k) {
             TW_UNI512 text = {};
             const std::wstring wide = L"uni \u00e9" + std::to_wstring(k);
             wmemcpy(text, wide.data(), wide.size());
             return PutText(b, at, text, kLinux ? "uni \xc3\xa9" + std::to_string(k) : kNotImplemented);
         }},
    };
    return kinds;
}

// The name the trace gives the item type: the macos build's table lacks the TWAIN 2.5 types.
std::string TypeName(const ItemKind& kind) {
    const bool named = kLinux || (kind.type != TWTY_STR1024 && kind.type != TWTY_UNI512);
    return named ? kind.name : "ERROR!(" + std::to_string(kind.type) + ")";
}

// A TW_CAPABILITY of ICAP_PIXELTYPE whose container holds `block`, read back from a MSG_GET;
// `inner` holds the container's fields, their paths counted from the container.
Case Capability(TW_UINT16 conType, const char* conTypeName, const char* container, const Bytes& block,
                const Expect& inner) {
    Case c;
    // The container comes from the data source's own allocator, sized exactly.
    const TW_HANDLE handle = CDSMInterface::AllocMemory(static_cast<TW_UINT32>(block.size()));
    memcpy(CDSMInterface::LockMemory(handle), block.data(), block.size());
    CDSMInterface::UnlockMemory(handle);
    TW_CAPABILITY& cap = Held<TW_CAPABILITY>();
    cap = {ICAP_PIXELTYPE, conType, handle};
    c.expected.Open("TW_CAPABILITY").Field("Cap", "ICAP_PIXELTYPE").Field("ConType", conTypeName);
    c.expected.Field("hContainer", PointerText(handle));
    const std::string outer = std::string("TW_CAPABILITY/") + container;
    for (const auto& [path, key, value] : inner.fields) c.expected.fields.push_back({path.empty() ? outer : outer + "/" + path, key, value});
    c.data = &cap;
    c.text = Result(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
    CDSMInterface::FreeMemory(handle);
    return c;
}

// The item list of `count` items of the kind, from `offset` of the block on.
void ItemList(const ItemKind& kind, Bytes& block, size_t offset, int count, Expect& e) {
    e.Open("ItemList");
    for (int k = 0; k < count; ++k) {
        const std::string text = kind.put(block, offset + kind.width * static_cast<size_t>(k), k);
        e.Field(std::to_string(k), kind.inLists ? text : kNotImplemented);
    }
    e.Close();
}

std::vector<Row> ContainerRows() {
    std::vector<Row> rows;
    for (const ItemKind& kind : ItemKinds()) {
        rows.push_back(
            {std::string("OneValue_") + kind.name, [&kind] {
                 Bytes block(sizeof(TW_ONEVALUE));
                 Put(block, offsetof(TW_ONEVALUE, ItemType), kind.type);
                 Expect e;
                 e.Field("ItemType", TypeName(kind)).Field("Item", kind.put(block, offsetof(TW_ONEVALUE, Item), 7));
                 return Capability(TWON_ONEVALUE, "TWON_ONEVALUE", "TW_ONEVALUE", block, e);
             }});
        rows.push_back({std::string("Array_") + kind.name, [&kind] {
                            Bytes block(sizeof(TW_ARRAY));
                            Put(block, offsetof(TW_ARRAY, ItemType), kind.type);
                            Put(block, offsetof(TW_ARRAY, NumItems), TW_UINT32{3});
                            Expect e;
                            e.Field("ItemType", TypeName(kind)).Number("NumItems", 3);
                            ItemList(kind, block, offsetof(TW_ARRAY, ItemList), 3, e);
                            return Capability(TWON_ARRAY, "TWON_ARRAY", "TW_ARRAY", block, e);
                        }});
        // A range holds each value in a 4-byte field: wider types cannot be in one.
        if (kind.width > sizeof(TW_UINT32)) continue;
        rows.push_back({std::string("Range_") + kind.name, [&kind] {
                            Bytes block(sizeof(TW_RANGE));
                            Put(block, offsetof(TW_RANGE, ItemType), kind.type);
                            Expect e;
                            e.Field("ItemType", TypeName(kind));
                            // Five values of four bytes each, one after the other.
                            const char* const values[] = {"MinValue", "MaxValue", "StepSize", "DefaultValue", "CurrentValue"};
                            for (int k = 0; k < 5; ++k) e.Field(values[k], kind.put(block, offsetof(TW_RANGE, MinValue) + 4 * k, k));
                            return Capability(TWON_RANGE, "TWON_RANGE", "TW_RANGE", block, e);
                        }});
    }
    // An enumeration's list is an array's. Its indexes are not checked against the items, and are
    // unsigned. A list that claims more items than its block holds ends with a line saying so.
    rows.push_back(
        {"Enumeration_ItemsNotInTheBlock", [] {
             Bytes block(offsetof(TW_ENUMERATION, ItemList) + 3 * sizeof(TW_INT32));
             Put(block, offsetof(TW_ENUMERATION, ItemType), TWTY_INT32);
             Put(block, offsetof(TW_ENUMERATION, NumItems), TW_UINT32{5});
             Put(block, offsetof(TW_ENUMERATION, CurrentIndex), TW_UINT32{4294967295u});
             Put(block, offsetof(TW_ENUMERATION, DefaultIndex), TW_UINT32{7});
             Expect e;
             e.Field("ItemType", "TWTY_INT32").Number("NumItems", 5).Number("CurrentIndex", 4294967295u);
             e.Number("DefaultIndex", 7).Open("ItemList");
             for (int k = 0; k < 3; ++k) {
                 const TW_INT32 item = 9000 + k;
                 Put(block, offsetof(TW_ENUMERATION, ItemList) + sizeof(item) * static_cast<size_t>(k), item);
                 e.Number(std::to_string(k), item);
             }
             e.Field("", std::string(traceformat::kFaultOpen) + "2 items not in the block" + traceformat::kFaultClose);
             return Capability(TWON_ENUMERATION, "TWON_ENUMERATION", "TW_ENUMERATION", block, e.Close());
         }});
    return rows;
}

// ---- TWAIN 2 structures: all of them in the linux build, the callbacks only in the macos one ---

std::vector<Row> Twain2Rows() {
    return {
        Structure<TW_CALLBACK>("Callback", DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, [](TW_CALLBACK& cb, Expect& e) {
            cb = {PointerValue<TW_MEMREF>(0x7F00DEADBEEF), PointerValue<TW_CALLBACK_REFCON>(0x56780000), -1};
            e.Open("TW_CALLBACK").Field("CallBackProc", PointerText(0xDEADBEEF));
            e.Field("RefCon", PointerText(0x56780000)).Field("Message", "ERROR!(65535)");
        }),
        Structure<TW_CALLBACK2>("Callback2", DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK,
                                [](TW_CALLBACK2& cb, Expect& e) {
            cb = {PointerValue<TW_MEMREF>(0x12345678), static_cast<uintptr_t>(0xFFFFFFFF00000001ull), MSG_XFERREADY};
            e.Open("TW_CALLBACK2").Field("CallBackProc", PointerText(0x12345678));
            e.Field("RefCon", PointerText(1)).Field("Message", "MSG_XFERREADY");
        }),
        Structure<TW_DEVICEEVENT>("DeviceEvent", DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, [](TW_DEVICEEVENT& d, Expect& e) {
            d = {0x8001, "", 0xFFFFFFFFu, -2, -1, Fix(3), {-1, 0x8000}, 5, 8, 4000, 0x80000000u};
            memset(d.DeviceName, 'D', sizeof(d.DeviceName));
            e.Open("TW_DEVICEEVENT").Field("Event", "ERROR!(32769)");
            e.Field("DeviceName", std::string(sizeof(d.DeviceName), 'D'));
            e.Number("BatteryMinutes", 4294967295).Number("BatteryPercentage", -2).Field("PowerSupply", "ERROR!(-1)");
            e.Fixed("XResolution", Fix(3)).Field("YResolution", "-0.500").Field("FlashUsed2", "ERROR!(5)");
            e.Number("AutomaticCapture", 8).Number("TimeBeforeFirstCapture", 4000).Number("TimeBetweenCaptures", 2147483648);
        }, kLinuxOnly),
        Structure<TW_FILESYSTEM>("FileSystem", DG_CONTROL, DAT_FILESYSTEM, MSG_GET, [](TW_FILESYSTEM& f, Expect& e) {
            f = {"/in/dir", "/out/dir", PointerValue<TW_MEMREF>(0x0000CAFE), {1}, {9}, 12345, "2026/12/07 10:00:00.000", "",
                 0xFFFFFFFFu, -1, 9, 8, DG_CONTROL | DG_IMAGE, {}};
            memset(f.ModifiedTimeDate, '9', sizeof(f.ModifiedTimeDate));
            memset(f.Reserved, 'R', sizeof(f.Reserved));
            e.Open("TW_FILESYSTEM").Field("InputName", "/in/dir").Field("OutputName", "/out/dir");
            e.Field("Context", PointerText(0xCAFE)).Number("Recursive", 1).Field("FileType", "ERROR!(9)");
            e.Number("Size", 12345).Field("CreateTimeDate", "2026/12/07 10:00:00.000");
            e.Field("ModifiedTimeDate", std::string(sizeof(f.ModifiedTimeDate), '9')).Number("FreeSpace", 4294967295);
            e.Number("NewImageSize", -1).Number("NumberOfFiles", 9).Number("NumberOfSnippets", 8);
            e.Field("DeviceGroupMask", "0x3");
        }, kLinuxOnly),
        // A field named like the call's data pointer line, indented as a field.
        Structure<TW_PASSTHRU>("PassThru", DG_CONTROL, DAT_PASSTHRU, MSG_PASSTHRU, [](TW_PASSTHRU& p, Expect& e) {
            p = {PointerValue<TW_MEMREF>(0x0000C0DE), 16, -3, PointerValue<TW_MEMREF>(0x0000DA7A), 0xFFFFFFFFu, 500};
            e.Open("TW_PASSTHRU").Field("pCommand", PointerText(0xC0DE)).Number("CommandBytes", 16);
            e.Field("Direction", "ERROR!(-3)").Field("pData", PointerText(0xDA7A)).Number("DataBytes", 4294967295);
            e.Number("DataBytesXfered", 500);
        }, kLinuxOnly),
        Structure<TW_METRICS>("Metrics", DG_CONTROL, DAT_METRICS, MSG_GET, [](TW_METRICS& m, Expect& e) {
            m = {sizeof(TW_METRICS), 21, 0xFFFFFFFFu};
            e.Open("TW_METRICS").Number("SizeOf", sizeof(TW_METRICS)).Number("ImageCount", 21);
            e.Number("SheetCount", 4294967295);
        }, kLinuxOnly),
        Structure<TW_TWAINDIRECT>("TwainDirect", DG_CONTROL, DAT_TWAINDIRECT, MSG_SETTASK, [](TW_TWAINDIRECT& t, Expect& e) {
            // The handles lie at unaligned offsets in the packed layout.
            t = {sizeof(TW_TWAINDIRECT), 0xFFFF, PointerValue<TW_HANDLE>(0x007FFF00AABBCCDDull), 77,
                PointerValue<TW_HANDLE>(0x4ECE), 0x80000001u};
            e.Open("TW_TWAINDIRECT").Number("SizeOf", sizeof(TW_TWAINDIRECT)).Number("CommunicationManager", 65535);
            e.Field("Send", "<0xaabbccdd>").Number("SendSize", 77).Field("Receive", PointerText(0x4ECE));
            e.Number("ReceiveSize", 2147483649);
        }, kLinuxOnly),
        Structure<TW_ENTRYPOINT>("EntryPoint", DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, [](TW_ENTRYPOINT& ep, Expect& e) {
            ep = {sizeof(TW_ENTRYPOINT), PointerValue<DSMENTRYPROC>(0x00E0001), PointerValue<DSM_MEMALLOCATE>(0x00E0002),
                  PointerValue<DSM_MEMFREE>(0x00E0003), PointerValue<DSM_MEMLOCK>(0x00E0004),
                      PointerValue<DSM_MEMUNLOCK>(0x00E0005)};
            e.Open("TW_ENTRYPOINT").Number("Size", sizeof(TW_ENTRYPOINT)).Field("DSM_Entry", PointerText(0xE0001));
            e.Field("DSM_MemAllocate", PointerText(0xE0002)).Field("DSM_MemFree", PointerText(0xE0003));
            e.Field("DSM_MemLock", PointerText(0xE0004)).Field("DSM_MemUnlock", PointerText(0xE0005));
        }, kLinuxOnly),
    };
}

// ---- vendor structures ----------------------------------------------------------------------------

template <size_t N>
void PascalText(TW_UINT8 (&field)[N], const std::string& text) {
    field[0] = static_cast<TW_UINT8>(text.size());
    memcpy(field + 1, text.data(), text.size());
}

// Nine coefficients of a colour matrix from `k` on, and their text.
std::string Coefficients(TW_FIX32 (&coeff)[9], int k) {
    std::string text;
    for (int i = 0; i < 9; ++i) text += (i == 0 ? "" : ",") + FixText(coeff[i] = Fix(k + i));
    return text;
}

// HighlightH lies at the top of its 16 bits.
void Threshold(TWKV_THRESHOLDINFO& t, int k, Expect& e) {
    t = {static_cast<TW_UINT16>(k), static_cast<TW_UINT16>(k + 1), static_cast<TW_UINT16>(65535 - k),
         static_cast<TW_UINT16>(k + 3)};
    e.Open("TWKV_THRESHOLDINFO").Number("ShadowL", k).Number("ShadowH", k + 1).Number("HighlightH", 65535 - k);
    e.Number("HighlightL", k + 3).Close();
}

void UsmParam(TWKV_USMPARAM& u, int k, Expect& e) {
    u = {static_cast<TW_INT16>(k), static_cast<TW_INT16>(-k - 1), static_cast<TW_INT16>(k + 2)};
    e.Open("TWKV_USMPARAM").Number("Amount", k).Number("Radius", -k - 1).Number("Threshold", k + 2).Close();
}

std::vector<Row> VendorRows() {
    std::vector<Row> rows = {
        Structure<TWKV_AUTOEXPOSURE>("KvAutoExposure", DG_CONTROL, DAT_KV_AUTOEXPOSURE, MSG_GET,
                                     [](TWKV_AUTOEXPOSURE& a, Expect& e) {
            a = {0x1234ABCD, -5, 6, 700, -32768, TWKV_FT_REFLECTIVEDOCUMENT, 0xFFFF, {-1, 32768}, 65535};
            e.Open("TWKV_AUTOEXPOSURE").Field("Handle", PointerText(0x1234ABCD)).Number("Left", -5).Number("Top", 6);
            e.Number("Right", 700).Number("Bottom", -32768).Field("FilmType", "TWKV_FT_REFLECTIVEDOCUMENT");
            e.Field("PreScanGamma", "ERROR!(65535)").Field("ScreenGamma", "-0.500").Number("GrayBalance", 65535);
        }),
        Structure<TWKV_RGBMATRIX>("KvRgbMatrix", DG_CONTROL, DAT_KV_RGBMATRIX, MSG_GET, [](TWKV_RGBMATRIX& m, Expect& e) {
            m = {{{-1, 32768}, {1, 32768}, {2, 0}, {-3, 0}, {4, 16384}, {-32768, 0}, {32767, 65535}, {0, 1}, {9, 0}}};
            e.Open("TWKV_RGBMATRIX").Field("ColorCoeff", "-0.500,1.500,2.000,-3.000,4.250,-32768.000,32768.000,0.000,9.000");
        }),
        Structure<TWKV_COLORSMOOTHING>("KvColorSmoothing", DG_CONTROL, DAT_KV_COLORSMOOTHING, MSG_GET,
                                       [](TWKV_COLORSMOOTHING& s, Expect& e) {
            s = {0xdeadbeef, 1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFF, 0x80000000};
            e.Open("TWKV_COLORSMOOTHING").Field("Handle", "<0xdeadbeef>").Number("LeftX", 1);
            e.Number("LeftY", 2).Number("TopX", 3).Number("TopY", 4).Number("RightX", 5).Number("RightY", 6);
            e.Number("BottomX", 7).Number("BottomY", 4294967295).Number("Reserved", 2147483648);
        }),
        Structure<TWKV_HARDWAREINFO>("KvHardwareInfo", DG_CONTROL, DAT_KV_HARDWAREINFO, MSG_GET,
                                     [](TWKV_HARDWAREINFO& h, Expect& e) {
            // Identifiers and masks print in hexadecimal; flags are true for any non-zero 16 bits.
            h.ModelID = 0x1A;
            PascalText(h.ProductName, "Scanner 9000");
            PascalText(h.ModelName, "Model X");
            e.Open("TWKV_HARDWAREINFO").Field("ModelID", "0x1a");
            e.Field("ProductName", "Scanner 9000").Field("ModelName", "Model X");
            const std::pair<const char*, TW_UINT32*> numbers[] = {
                {"OptXResolution", &h.OptXResolution}, {"OptYResolution", &h.OptYResolution},
                {"MinResolution", &h.MinResolution}, {"MaxResolution", &h.MaxResolution},
                {"MaxMoireResolution", &h.MaxMoireResolution}, {"MaxPixelofWidth", &h.MaxPixelofWidth},
                {"PixelSizeofFB[0]", &h.PixelSizeofFB[0]}, {"PixelSizeofFB[1]", &h.PixelSizeofFB[1]},
                {"PixelSizeofADF[0]", &h.PixelSizeofADF[0]}, {"PixelSizeofADF[1]", &h.PixelSizeofADF[1]},
                {"PixelSizeofTPU[0]", &h.PixelSizeofTPU[0]}, {"PixelSizeofTPU[1]", &h.PixelSizeofTPU[1]}};
            for (int i = 0; i < 12; ++i)
                e.Number(numbers[i].first, *numbers[i].second = i == 5 ? 0xFFFFFFFFu : static_cast<TW_UINT32>(600 + i));
            h.BitDepth = 8;
            h.InterfaceSupport = 0xFFFF;
            h.CommandType = 6;
            h.ConnectInterfaceType = 7;
            memset(h.Reserved, 0xFF, sizeof(h.Reserved));  // beside the first flag, which reads its own 16 bits
            e.Field("BitDepth", "0x08").Number("InterfaceSupport", 65535);
            e.Number("CommandType", 6).Number("ConnectInterfaceType", 7);
            const std::pair<const char*, TW_UINT16*> flags[] = {
                {"StandAloneModeSupport", &h.StandAloneModeSupport}, {"FullAutoModeSupport", &h.FullAutoModeSupport},
                {"SimpleModeSupport", &h.SimpleModeSupport}, {"DocumentModeSupport", &h.DocumentModeSupport},
                {"AdvancedModeSupport", &h.AdvancedModeSupport}, {"TCMSupport", &h.TCMSupport}, {"FIT3", &h.FIT3},
                {"AutoLayoutSupportFB", &h.AutoLayoutSupportFB}, {"AutoLayoutSupportADF", &h.AutoLayoutSupportADF},
                {"HalftoneSupport", &h.HalftoneSupport}, {"HTModeSupport", &h.HTModeSupport},
                {"HTDitherSupport", &h.HTDitherSupport}, {"HTAASSupport", &h.HTAASSupport},
                {"HTTETSupport", &h.HTTETSupport}};
            for (int i = 0; i < 14; ++i) {
                *flags[i].second = static_cast<TW_UINT16>(i % 3 == 0 ? 0 : i == 1 ? 0x100 : i == 10 ? 0xFFFF : i);
                e.Field(flags[i].first, i % 3 == 0 ? "false" : "true");
            }
            h.TableArrangement = 8;
            h.OptionSupport = 0x12;
            h.FocusSupport = 9;
            h.FocusArea[0] = 10;
            h.FocusArea[1] = 4000000000u;
            memset(h.ProfileNameFB, 'F', sizeof(h.ProfileNameFB));  // the names without their NUL
            memset(h.ProfileNameTPU, 'T', sizeof(h.ProfileNameTPU));
            e.Number("TableArrangement", 8).Field("OptionSupport", "0x0012").Number("FocusSupport", 9);
            e.Number("FocusArea[0]", 10).Number("FocusArea[1]", 4000000000u).Field("ProfileNameFB", std::string(34, 'F'));
            e.Field("ProfileNameTPU", std::string(34, 'T'));
            const std::pair<const char*, TW_FIX32(*)[9]> matrices[] = {
                {"ColorCorrectionFB", &h.ColorCorrectionFB}, {"ColorCorrectionPOSI", &h.ColorCorrectionPOSI},
                {"ColorCorrectionNEGA", &h.ColorCorrectionNEGA}, {"TCMColorCorrectionFB", &h.TCMColorCorrectionFB},
                {"TCMColorCorrectionPOSI", &h.TCMColorCorrectionPOSI}, {"TCMColorCorrectionNEGA", &h.TCMColorCorrectionNEGA}};
            for (int i = 0; i < 6; ++i) e.Field(matrices[i].first, Coefficients(*matrices[i].second, 100 + 10 * i));
            memset(h.ROMVersion, 'R', sizeof(h.ROMVersion));
            e.Field("ROMVersion", std::string(32, 'R'));
        }),
        Structure<TWKV_LOCATIONDATA>("KvSkewInfo", DG_CONTROL, DAT_KV_SKEWINFO, MSG_GET,
                                     [](TWKV_LOCATIONDATA& l, Expect& e) {
            l = {-24, 1, 2, 3, 4, 5, 6, 0xFFFFFFFF, 8, {-2, 0x8000}};
            e.Open("TWKV_LOCATIONDATA").Number("BitsPerPixel", -24).Number("topPoint", 1).Number("leftPoint", 2);
            e.Number("locateW", 3).Number("locateH", 4).Number("ActualImgW", 5).Number("ActualImgH", 6);
            e.Number("xTangent", 4294967295).Number("yTangent", 8).Field("Theta", "-1.500");
        }),
        Structure<TWKV_USMPARAM>("KvUnsharpMaskParam", DG_CONTROL, DAT_KV_UNSHARPMASKPARAM, MSG_GET,
                                 [](TWKV_USMPARAM& u, Expect& e) { UsmParam(u, 12, e); }),
        Structure<TWKV_SETTINGFRAME>("KvSettingFrame", DG_CONTROL, DAT_KV_SETTINGFRAME, MSG_GET,
                                     [](TWKV_SETTINGFRAME& s, Expect& e) {
            s = {65535, 2};
            e.Open("TWKV_SETTINGFRAME").Number("NumFrame", 65535).Number("CurrentNum", 2);
        }),
        Structure<TWKV_USMINFO>("KvUsmInfo", DG_CONTROL, DAT_KV_USMINFO, MSG_GET, [](TWKV_USMINFO& u, Expect& e) {
            u = {1200, 3, 1, {}, {}};
            e.Open("TWKV_USMINFO").Number("InputResolution", 1200).Number("InUSMLevel", 3).Number("InFilmType", 1);
            UsmParam(u.USMParm, 20, e.Label("USMParm"));
            Threshold(u.ReviseParm.InputRevise, 30, e.Label("ReviseParm").Open("TWKV_REVISEBASEPARM").Label("InputRevise"));
            Threshold(u.ReviseParm.OutputRevise, 40, e.Label("OutputRevise"));
            u.ReviseParm.BlurMax = 50;
            e.Number("BlurMax", 50).Close();
        }),
    };
    // DATs whose data the trace does not show.
    for (const auto& [name, dat] : {std::make_pair("KvEvent", DAT_KV_EVENT),
                                    std::make_pair("KvRedCorrectionMatrix", DAT_KV_REDCORRECTIONMATRIX),
                                    std::make_pair("KvTwainCallbackMsg", DAT_KV_TWAINCALLBACKMSG)})
        rows.push_back(
            Structure<TW_UINT32>(name, DG_CONTROL, dat, MSG_GET, [](TW_UINT32& data, Expect&) { data = 0x11111111; }));
    return rows;
}

std::vector<Row> AllRows() {
    std::vector<Row> rows;
    for (auto part : {StructureRows(), ContainerRows(), Twain2Rows(), VendorRows()})
        rows.insert(rows.end(), part.begin(), part.end());
    return rows;
}

class RoundTrip : public testing::TestWithParam<Row> {};

TEST_P(RoundTrip, EveryFieldComesBackUnderItsPathWithItsValue) {
    TraceAsMakersSource();  // an identity row leaves the vendor naming of another maker's source
    const Case c = GetParam().make();
    const std::vector<tracereport::TraceCall> calls = ReadCalls(c.text);
    ASSERT_EQ(calls.size(), 1u) << c.text;
    const tracereport::TraceCall& call = calls[0];
    EXPECT_EQ(call.rc, "TWRC_SUCCESS");
    EXPECT_EQ(call.pData, PointerText(c.data));
    EXPECT_EQ(call.state, 3) << "the status line stands outside every structure";
    std::vector<Shown> read;
    for (const tracereport::Field& f : call.fields) read.push_back({call.PathOf(f), f.key, f.value});
    EXPECT_EQ(read.size(), c.expected.fields.size());
    EXPECT_EQ(read, c.expected.fields) << c.text;
}

INSTANTIATE_TEST_SUITE_P(EveryStructure, RoundTrip, testing::ValuesIn(AllRows()),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
