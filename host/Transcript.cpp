// One transcript line per call. The structures live in the shared fixed-address heap, which knows
// the size of each block, so the bytes are read within their blocks and nothing else is assumed.
#include "Transcript.h"

#include <cstdint>

#include "HandleHeap.h"
#include "tracewell/twain_values.h"

namespace {

void WriteHex(FILE* out, const char* label, const void* bytes, size_t count) {
    fprintf(out, " %s=", label);
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i) fprintf(out, "%02x", p[i]);
}

// Image data is compared by its FNV-1a digest; the strips alone are larger than the rest.
void WriteDigest(FILE* out, const char* label, const void* bytes, size_t count) {
    uint64_t hash = 14695981039346656037ull;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
    fprintf(out, " %s=%zu:%016llx", label, count, static_cast<unsigned long long>(hash));
}

void WriteHandle(FILE* out, const char* label, TW_HANDLE handle, bool digest) {
    const size_t bytes = handleheap::HandleSize(handle);
    if (bytes == 0) return;
    (digest ? WriteDigest : WriteHex)(out, label, handleheap::Lock(handle), bytes);
    handleheap::Unlock(handle);
}

}  // namespace

void WriteTranscriptLine(FILE* out, int call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                         TW_UINT16 rc) {
    fprintf(out, "%05d %08x/%04x/%04x rc=%u", call, static_cast<unsigned>(dg), dat, msg, rc);
    const size_t bytes = handleheap::BlockSize(data);
    if (bytes != 0) {
        WriteHex(out, "data", data, bytes);
        if (dat == DAT_CAPABILITY) {
            WriteHandle(out, "container", static_cast<TW_CAPABILITY*>(data)->hContainer, false);
        } else if (dat == DAT_IMAGEMEMXFER) {
            const TW_MEMREF strip = static_cast<TW_IMAGEMEMXFER*>(data)->Memory.TheMem;
            WriteDigest(out, "strip", strip, handleheap::BlockSize(strip));
        } else if (dat == DAT_IMAGENATIVEXFER) {
            WriteHandle(out, "image", *static_cast<TW_HANDLE*>(data), true);
        }
    }
    fputc('\n', out);
}
