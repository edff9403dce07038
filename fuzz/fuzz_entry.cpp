// Fuzz target of DS_Entry: the virtual scanner, scripted through its answer hook, answers random
// triplets with random structures and capability containers in blocks of exactly the fuzzed size;
// after every call the target checks that the return code and every byte the source wrote came
// back unchanged and that the call's trace text is bounded and made of whole, clean lines.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/ParaAnalyze.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "ScannerHooks.h"
#include "tracewell/twain_values.h"

extern "C" int CreateCorvale(const char* moduleFileName, CTripletOperator** operatorOut);

namespace {

// Input layout (everything little-endian; bytes past the end of the input read as zero):
//   u8 flags (bit 0: a 32-byte caller tag follows), u8 tracked state, then up to kMaxCalls calls:
//   u8 dg (0 control, 1 image, 2 audio, else a u32 follows), u8 dat and u8 msg (an index into the
//   tables below, else a u16 follows), u8 rc (below 12 the code itself, else a u16 follows),
//   u8 origin (0: null, else an identity with a write list), u8 data (0: null, else a block of the
//   DAT's structure size plus u16 % 1024 bytes, with a write list); for DAT_CAPABILITY with data
//   a container follows: u8 allocator (0: no handle, 1: the Source Manager's, 2: a foreign one),
//   u16 block size (& 0x3FFF; with bit 15 the ConType's header size is added), u16 Cap, u16 ConType,
//   u16 ItemType, five u32 header values, u16 n, n item bytes.
//   A write list is u8 count, then per write u8 field (an index into kFields, 0xFF: a u16 offset
//   follows, else the offset itself), u8 length, the bytes.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool AtEnd() const { return m_pos >= m_size; }
    uint8_t U8() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint16_t U16() {
        const uint8_t low = U8();
        return static_cast<uint16_t>(low | U8() << 8);
    }
    uint32_t U32() {
        const uint16_t low = U16();
        return low | static_cast<uint32_t>(U16()) << 16;
    }
    // Up to n bytes, fewer at the end of the input.
    std::vector<uint8_t> Bytes(size_t n) {
        const size_t take = m_pos < m_size ? std::min(n, m_size - m_pos) : 0;
        std::vector<uint8_t> bytes(m_data + m_pos, m_data + m_pos + take);
        m_pos += take;
        return bytes;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

constexpr int kMaxCalls = 16;

// memcpy and memcmp that accept empty ranges given as null pointers.
void Copy(void* to, const void* from, size_t n) {
    if (n != 0) memcpy(to, from, n);
}
bool Same(const void* a, const void* b, size_t n) { return n == 0 || memcmp(a, b, n) == 0; }

struct DatInfo {
    TW_UINT16 dat;
    size_t size;  // bytes of the structure the DAT carries (0: none is read)
};

// The block an application passes for a DAT this table does not size: more than any TWAIN
// structure needs.
constexpr size_t kUnlistedSize = 2048;

const DatInfo kDats[] = {
    {DAT_NULL, 0}, {DAT_CAPABILITY, sizeof(TW_CAPABILITY)}, {DAT_EVENT, sizeof(TW_EVENT)},
    {DAT_IDENTITY, sizeof(TW_IDENTITY)}, {DAT_PARENT, sizeof(TW_HANDLE)}, {DAT_PENDINGXFERS, sizeof(TW_PENDINGXFERS)},
    {DAT_SETUPMEMXFER, sizeof(TW_SETUPMEMXFER)}, {DAT_SETUPFILEXFER, sizeof(TW_SETUPFILEXFER)},
    {DAT_STATUS, sizeof(TW_STATUS)}, {DAT_USERINTERFACE, sizeof(TW_USERINTERFACE)}, {DAT_XFERGROUP, sizeof(TW_UINT32)},
    {DAT_TWUNKIDENTITY, 0}, {DAT_CUSTOMDSDATA, sizeof(TW_CUSTOMDSDATA)}, {DAT_DEVICEEVENT, kUnlistedSize},
    {DAT_FILESYSTEM, kUnlistedSize}, {DAT_PASSTHRU, kUnlistedSize}, {DAT_CALLBACK, sizeof(TW_CALLBACK)}, {DAT_CALLBACK2, sizeof(TW_CALLBACK2)},
    {DAT_ENTRYPOINT, sizeof(TW_ENTRYPOINT)}, {DAT_IMAGEINFO, sizeof(TW_IMAGEINFO)},
    {DAT_IMAGELAYOUT, sizeof(TW_IMAGELAYOUT)}, {DAT_IMAGEMEMXFER, sizeof(TW_IMAGEMEMXFER)},
    {DAT_IMAGENATIVEXFER, sizeof(TW_HANDLE)}, {DAT_IMAGEFILEXFER, 0}, {DAT_CIECOLOR, sizeof(TW_CIECOLOR)},
    {DAT_GRAYRESPONSE, sizeof(TW_GRAYRESPONSE)}, {DAT_RGBRESPONSE, sizeof(TW_RGBRESPONSE)},
    {DAT_JPEGCOMPRESSION, sizeof(TW_JPEGCOMPRESSION)}, {DAT_PALETTE8, sizeof(TW_PALETTE8)},
    {DAT_EXTIMAGEINFO, sizeof(TW_EXTIMAGEINFO)}, {DAT_AUDIOFILEXFER, 0}, {DAT_AUDIOINFO, 0},
    {DAT_AUDIONATIVEXFER, 0}, {DAT_SETUPFILEXFER2, 0}, {DAT_KV_AUTOEXPOSURE, sizeof(TWKV_AUTOEXPOSURE)},
    {DAT_KV_RGBMATRIX, sizeof(TWKV_RGBMATRIX)}, {DAT_KV_COLORSMOOTHING, sizeof(TWKV_COLORSMOOTHING)},
    {DAT_KV_EVENT, 0}, {DAT_KV_HARDWAREINFO, sizeof(TWKV_HARDWAREINFO)}, {DAT_KV_SKEWINFO, sizeof(TWKV_LOCATIONDATA)},
    {DAT_KV_UNSHARPMASKPARAM, sizeof(TWKV_USMPARAM)}, {DAT_KV_REDCORRECTIONMATRIX, 0},
    {DAT_KV_TWAINCALLBACKMSG, 0}, {DAT_KV_SETTINGFRAME, sizeof(TWKV_SETTINGFRAME)},
    {DAT_KV_USMINFO, sizeof(TWKV_USMINFO)}, {DAT_KV_EDGEFILLAREA, 0}, {DAT_KV_COLORFILTER, 0}, {DAT_KV_DUALIMAGE, 0},
};

const TW_UINT16 kMsgs[] = {
    MSG_NULL, MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_GETFIRST, MSG_GETNEXT, MSG_SET, MSG_RESET,
    MSG_QUERYSUPPORT, 0x0009, 0x000A, 0x000B, 0x000C, MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK,
    MSG_DEVICEEVENT, MSG_CHECKSTATUS, MSG_OPENDSM, MSG_CLOSEDSM, MSG_OPENDS, MSG_CLOSEDS, MSG_USERSELECT,
    MSG_DISABLEDS, MSG_ENABLEDS, MSG_ENABLEDSUIONLY, MSG_PROCESSEVENT, MSG_ENDXFER, 0x0702, MSG_PASSTHRU,
    MSG_REGISTER_CALLBACK, MSG_INVOKE_CALLBACK, MSG_KV_TIMERRESET, MSG_KV_XFERREQUEST, MSG_CUSTOMBASE,
};

// Offsets of the fields whose content the formatters print most, so that writes find them.
const size_t kFields[] = {
    offsetof(TW_IDENTITY, Version) + offsetof(TW_VERSION, Info),
    offsetof(TW_IDENTITY, Manufacturer),
    offsetof(TW_IDENTITY, ProductFamily),
    offsetof(TW_IDENTITY, ProductName),
    offsetof(TW_CAPABILITY, Cap),
    offsetof(TW_CAPABILITY, ConType),
    offsetof(TW_EVENT, TWMessage),
    offsetof(TW_SETUPFILEXFER, FileName),
    offsetof(TW_EXTIMAGEINFO, NumInfos),
    offsetof(TW_EXTIMAGEINFO, Info),
    offsetof(TW_CUSTOMDSDATA, InfoLength),
    offsetof(TW_PALETTE8, NumColors),
    offsetof(TW_IMAGEINFO, BitsPerSample),
    offsetof(TW_STATUS, ConditionCode),
    offsetof(TWKV_HARDWAREINFO, ProductName),
    offsetof(TWKV_HARDWAREINFO, ModelName),
    offsetof(TWKV_HARDWAREINFO, ProfileNameFB),
    offsetof(TWKV_HARDWAREINFO, ROMVersion),
};
constexpr uint8_t kFieldCount = sizeof(kFields) / sizeof(kFields[0]);

TW_UINT16 Dat(Reader& in) {
    const uint8_t pick = in.U8();
    return pick < sizeof(kDats) / sizeof(kDats[0]) ? kDats[pick].dat : in.U16();
}

size_t StructureSize(TW_UINT16 dat) {
    for (const DatInfo& info : kDats) {
        if (info.dat == dat) return info.size;
    }
    return kUnlistedSize;
}

// Bytes at exactly the fuzzed size, so that AddressSanitizer sees any read past them.
struct Block {
    explicit Block(size_t n) : bytes(static_cast<uint8_t*>(calloc(1, n != 0 ? n : 1))), size(n) {}
    ~Block() { free(bytes); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    uint8_t* bytes;
    size_t size;
};

void ApplyWrites(Reader& in, uint8_t* block, size_t size) {
    const uint8_t count = in.U8() % 9;
    for (uint8_t i = 0; i < count; ++i) {
        const uint8_t field = in.U8();
        const size_t offset = field < kFieldCount ? kFields[field] : field == 0xFF ? in.U16() : field - kFieldCount;
        const std::vector<uint8_t> bytes = in.Bytes(in.U8());
        if (offset < size) Copy(block + offset, bytes.data(), std::min(bytes.size(), size - offset));
    }
}

// One call as the input scripts it: what the application passes and what the source answers.
struct Call {
    TW_UINT32 dg = 0;
    TW_UINT16 dat = 0, msg = 0, rc = 0;
    Block* origin = nullptr;
    Block* data = nullptr;
    Reader* in = nullptr;

    // Filled by the source: the container it made and a copy of everything it wrote.
    enum Allocator { kNone, kSourceManager, kForeign } allocator = kNone;
    TW_HANDLE handle = nullptr;
    uint8_t* container = nullptr;
    size_t containerSize = 0;
    std::vector<uint8_t> dataWritten, containerWritten, originSeen;
    int answered = 0;
};

// The container the source hands back: its header as the ConType lays it out, then the items.
std::vector<uint8_t> ContainerBytes(Reader& in, TW_UINT16 conType) {
    const TW_UINT16 itemType = in.U16();
    TW_UINT32 v[5];
    for (TW_UINT32& value : v) value = in.U32();
    const std::vector<uint8_t> items = in.Bytes(in.U16());
    std::vector<uint8_t> out;
    auto place = [&out](const void* header, size_t size, size_t itemsAt) {
        out.assign(static_cast<const uint8_t*>(header), static_cast<const uint8_t*>(header) + size);
        out.resize(itemsAt);
    };
    switch (conType) {
    case TWON_ONEVALUE: {
        TW_ONEVALUE one = {};
        one.ItemType = itemType;
        one.Item = v[0];
        place(&one, sizeof(one), sizeof(one));
        break;
    }
    case TWON_RANGE: {
        TW_RANGE range = {};
        range.ItemType = itemType;
        range.MinValue = v[0];
        range.MaxValue = v[1];
        range.StepSize = v[2];
        range.DefaultValue = v[3];
        range.CurrentValue = v[4];
        place(&range, sizeof(range), sizeof(range));
        break;
    }
    case TWON_ENUMERATION: {
        TW_ENUMERATION list = {};
        list.ItemType = itemType;
        list.NumItems = v[0];
        list.CurrentIndex = v[1];
        list.DefaultIndex = v[2];
        place(&list, sizeof(list), offsetof(TW_ENUMERATION, ItemList));
        break;
    }
    case TWON_ARRAY: {
        TW_ARRAY array = {};
        array.ItemType = itemType;
        array.NumItems = v[0];
        place(&array, sizeof(array), offsetof(TW_ARRAY, ItemList));
        break;
    }
    default:
        break;
    }
    out.insert(out.end(), items.begin(), items.end());
    return out;
}

TW_HANDLE NewForeignHandle(size_t size, uint8_t** block);

// Bytes of a container before its first item (all of it for the fixed ones).
size_t HeaderSize(TW_UINT16 conType) {
    switch (conType) {
    case TWON_ONEVALUE: return sizeof(TW_ONEVALUE);
    case TWON_RANGE: return sizeof(TW_RANGE);
    case TWON_ENUMERATION: return offsetof(TW_ENUMERATION, ItemList);
    case TWON_ARRAY: return offsetof(TW_ARRAY, ItemList);
    default: return 0;
    }
}

void MakeContainer(Call& call, TW_CAPABILITY* cap) {
    Reader& in = *call.in;
    const uint8_t allocator = in.U8() % 3;
    const uint16_t sizeField = in.U16();
    cap->Cap = in.U16();
    cap->ConType = in.U16();
    const std::vector<uint8_t> bytes = ContainerBytes(in, cap->ConType);
    const size_t size = (sizeField & 0x3FFF) + ((sizeField & 0x8000) != 0 ? HeaderSize(cap->ConType) : 0);
    cap->hContainer = nullptr;
    if (allocator == Call::kNone) return;
    call.allocator = static_cast<Call::Allocator>(allocator);
    if (call.allocator == Call::kSourceManager) {
        call.handle = CDSMInterface::AllocMemory(static_cast<TW_UINT32>(size));
        call.container = static_cast<uint8_t*>(CDSMInterface::LockMemory(call.handle));
        CDSMInterface::UnlockMemory(call.handle);
    } else {
        call.handle = NewForeignHandle(size, &call.container);
    }
    if (call.handle == nullptr || call.container == nullptr) abort();
    call.containerSize = size;
    Copy(call.container, bytes.data(), std::min(size, bytes.size()));
    cap->hContainer = call.handle;
}

// A handle made by another allocator, as the Linux Source Manager makes them with calloc.
#if defined(TRACEWELL_ABI_MACOS)
TW_HANDLE NewForeignHandle(size_t size, uint8_t** block) {
    char** master = static_cast<char**>(malloc(sizeof(char*)));
    *master = static_cast<char*>(calloc(1, size != 0 ? size : 1));
    *block = reinterpret_cast<uint8_t*>(*master);
    return master;
}
void FreeForeignHandle(TW_HANDLE handle) {
    free(*handle);
    free(handle);
}
#else
TW_HANDLE NewForeignHandle(size_t size, uint8_t** block) {
    *block = static_cast<uint8_t*>(calloc(1, size != 0 ? size : 1));
    return *block;
}
void FreeForeignHandle(TW_HANDLE handle) { free(handle); }
#endif

void FreeContainer(Call& call) {
    if (call.allocator == Call::kSourceManager) CDSMInterface::FreeMemory(call.handle);
    if (call.allocator == Call::kForeign) FreeForeignHandle(call.handle);
}

TW_UINT16 Answer(void* context, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF data) {
    Call& call = *static_cast<Call*>(context);
    ++call.answered;
    if (data != nullptr) {
        ApplyWrites(*call.in, call.data->bytes, call.data->size);
        if (call.dat == DAT_CAPABILITY) MakeContainer(call, static_cast<TW_CAPABILITY*>(data));
        call.dataWritten.assign(call.data->bytes, call.data->bytes + call.data->size);
        if (call.container != nullptr)
            call.containerWritten.assign(call.container, call.container + call.containerSize);
    }
    return call.rc;
}

[[noreturn]] void Fail(const char* what, const std::string& text) {
    fprintf(stderr, "fuzz_entry: %s\n--- the call's text (%zu bytes) ---\n%s\n---\n", what, text.size(), text.c_str());
    abort();
}

bool StartsWith(const std::string& text, size_t at, const char* prefix) { return text.compare(at, strlen(prefix), prefix) == 0; }

// Whole lines ending in "\r\n", no other control character, and a result section that stays
// within the written limit plus the cut notice line.
void CheckText(const std::string& text, TW_UINT16 rc) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            if (i + 1 >= text.size() || text[i + 1] != '\n') Fail("a CR not followed by LF", text);
            ++i;
        } else if (c == '\n') {
            Fail("an LF without CR", text);
        } else if (c < 0x20 || c == 0x7F) {
            Fail("a control character inside a line", text);
        }
    }
    std::string body = text;
    const std::string markers = "*** Inspect Error Status Start ***\r\n*** Inspect Error Status End   ***\r\n";
    const bool marked = body.size() >= markers.size() && body.compare(body.size() - markers.size(), markers.size(), markers) == 0;
    if (marked != (rc == TWRC_FAILURE)) Fail("failure markers do not match the return code", text);
    if (marked) body.resize(body.size() - markers.size());

    // The request line, when there is one, is the first line: "[<sequence number>] [<caller>] ...".
    size_t result = 0;
    if (StartsWith(body, 0, "[")) {
        size_t digits = 1;
        while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9') ++digits;
        if (digits > 1 && StartsWith(body, digits, "] [")) result = body.find("\r\n") + 2;
    }
    if (result > 1024) Fail("the request line is longer than 1024 bytes", text);
    const std::string section = body.substr(result);
    const std::string notice = std::string(CTraceText::kCutNotice) + "\r\n";
    if (section.size() > CTraceText::kWrittenLimit) {
        if (section.size() > CTraceText::kWrittenLimit + notice.size()) Fail("the result section passes the limit", text);
        if (section.compare(section.size() - notice.size(), notice.size(), notice) != 0)
            Fail("a result section past the limit does not end with the cut notice line", text);
    }
}

// The trace file: an in-memory file; each call's text is what the file gained during the call.
FILE* g_trace = nullptr;

size_t TraceSize() {
    fflush(g_trace);
    struct stat st;
    fstat(fileno(g_trace), &st);
    return static_cast<size_t>(st.st_size);
}

std::string TraceSince(size_t offset) {
    const size_t end = TraceSize();
    std::string text(end - offset, '\0');
    if (!text.empty() && pread(fileno(g_trace), &text[0], text.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(text.size()))
        abort();
    return text;
}

void RunCall(Reader& in) {
    Call call;
    call.in = &in;
    const uint8_t dg = in.U8();
    call.dg = dg == 0 ? DG_CONTROL : dg == 1 ? DG_IMAGE : dg == 2 ? DG_AUDIO : in.U32();
    call.dat = Dat(in);
    const uint8_t msg = in.U8();
    call.msg = msg < sizeof(kMsgs) / sizeof(kMsgs[0]) ? kMsgs[msg] : in.U16();
    const uint8_t rc = in.U8();
    call.rc = rc < 12 ? rc : in.U16();

    Block origin(sizeof(TW_IDENTITY));
    if (in.U8() != 0) {
        ApplyWrites(in, origin.bytes, origin.size);
        call.origin = &origin;
        call.originSeen.assign(origin.bytes, origin.bytes + origin.size);
    }
    const bool hasData = in.U8() != 0;
    Block data(hasData ? StructureSize(call.dat) + in.U16() % 1024 : 0);
    if (hasData) call.data = &data;

    CorvaleScriptAnswer(Answer, &call);
    const size_t before = TraceSize();
    const TW_UINT16 returned = DS_Entry(call.origin != nullptr ? reinterpret_cast<TW_IDENTITY*>(origin.bytes) : nullptr,
                                        call.dg, call.dat, call.msg, hasData ? data.bytes : nullptr);
    const std::string text = TraceSince(before);
    CorvaleScriptAnswer(nullptr, nullptr);

    if (call.answered != 1) Fail("the source was not called exactly once", text);
    if (returned != call.rc) Fail("the return code changed", text);
    if (hasData && !Same(data.bytes, call.dataWritten.data(), data.size)) Fail("the data block changed", text);
    if (call.container != nullptr && !Same(call.container, call.containerWritten.data(), call.containerSize))
        Fail("the container changed", text);
    if (call.origin != nullptr && !Same(origin.bytes, call.originSeen.data(), origin.size))
        Fail("the origin changed", text);
    CheckText(text, returned);
    FreeContainer(call);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (g_pcTripletOperator == nullptr) CreateCorvale("tracewell.ds", &g_pcTripletOperator);
    const int fd = memfd_create("fuzz-trace", 0);
    g_trace = fd >= 0 ? fdopen(fd, "w+") : nullptr;
    if (g_trace == nullptr) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (g_trace == nullptr) LLVMFuzzerInitialize(nullptr, nullptr);
    // Every input starts from a fresh analyzer and an empty trace file.
    g_cParaAnalyze = CParaAnalyze();
    if (ftruncate(fileno(g_trace), 0) != 0) abort();
    rewind(g_trace);
    g_pLogFile = g_trace;

    Reader in(bytes, size);
    const uint8_t flags = in.U8();
    g_cParaAnalyze.SetTwainStatus(1 + in.U8() % 7);
    if (flags & 1) {
        char tag[CParaAnalyze::kCallerSize] = {};
        const std::vector<uint8_t> given = in.Bytes(sizeof(tag) - 1);
        Copy(tag, given.data(), given.size());
        g_cParaAnalyze.Init(tag);
    }
    for (int i = 0; i < kMaxCalls && !in.AtEnd(); ++i) RunCall(in);
    g_pLogFile = nullptr;
    return 0;
}
