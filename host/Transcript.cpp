// One transcript line per call, and one per message of the source. The structures live in the
// shared fixed-address heap and the handles in the system's handle memory, both of which know the
// size of each block, so the bytes are read within their blocks and nothing else is assumed.
#include "Transcript.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "HandleHeap.h"
#include "HostMemory.h"
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

// The block's bytes, as far as the system says the block reaches.
void WriteHandle(FILE* out, const char* label, TW_HANDLE handle, bool digest) {
    const size_t bytes = HandleBytes(handle);
    const void* block = bytes != 0 ? LockHandle(handle) : nullptr;
    if (block == nullptr) return;
    (digest ? WriteDigest : WriteHex)(out, label, block, bytes);
    UnlockHandle(handle);
}

// The structure's bytes with the handle it carries replaced by the block's number, where the
// system places handle blocks anywhere.
std::vector<uint8_t> StableBytes(const void* data, size_t bytes, TW_UINT16 dat) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(p, p + bytes);
    size_t at = bytes;
    if (dat == DAT_CAPABILITY) at = offsetof(TW_CAPABILITY, hContainer);
    else if (dat == DAT_IMAGENATIVEXFER) at = 0;
    if (at + sizeof(TW_HANDLE) > bytes) return copy;
    TW_HANDLE handle;
    memcpy(&handle, p + at, sizeof(handle));
    const uintptr_t number = HandleNumber(handle);
    if (number != 0) memcpy(copy.data() + at, &number, sizeof(number));
    return copy;
}

}  // namespace

void WriteTranscriptLine(FILE* out, int call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                         TW_UINT16 rc) {
    fprintf(out, "%05d %08x/%04x/%04x rc=%u", call, static_cast<unsigned>(dg), dat, msg, rc);
    const size_t bytes = handleheap::BlockSize(data);
    if (bytes != 0) {
        WriteHex(out, "data", StableBytes(data, bytes, dat).data(), bytes);
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

void WriteEntryPointsLine(FILE* out, int call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          const TW_ENTRYPOINT* entryPoints, const TW_ENTRYPOINT& given, TW_UINT16 rc) {
    const auto kept = [](bool same) { return same ? "given" : "changed"; };
    fprintf(out, "%05d %08x/%04x/%04x rc=%u Size=%u DSM_Entry=%s DSM_MemAllocate=%s DSM_MemFree=%s DSM_MemLock=%s "
                 "DSM_MemUnlock=%s\n",
            call, static_cast<unsigned>(dg), dat, msg, rc, static_cast<unsigned>(entryPoints->Size),
            kept(entryPoints->DSM_Entry == given.DSM_Entry), kept(entryPoints->DSM_MemAllocate == given.DSM_MemAllocate),
            kept(entryPoints->DSM_MemFree == given.DSM_MemFree), kept(entryPoints->DSM_MemLock == given.DSM_MemLock),
            kept(entryPoints->DSM_MemUnlock == given.DSM_MemUnlock));
}

void WriteSourceMessageLine(FILE* out, int message, int call, bool inCall, const TW_IDENTITY* origin,
                            const TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data, TW_UINT16 rc) {
    fprintf(out, "DS%03d %s%05d %08x/%04x/%04x rc=%u", message, inCall ? "in" : "after", call,
            static_cast<unsigned>(dg), dat, msg, rc);
    if (origin != nullptr) WriteHex(out, "from", origin, sizeof(*origin));
    if (destination != nullptr) WriteHex(out, "to", destination, sizeof(*destination));
    size_t bytes = handleheap::BlockSize(data);
    if (dat == DAT_CALLBACK && data != nullptr) bytes = sizeof(TW_CALLBACK);
    if (dat == DAT_CALLBACK2 && data != nullptr) bytes = sizeof(TW_CALLBACK2);
    if (bytes != 0) WriteHex(out, "data", data, bytes);
    else fprintf(out, data == nullptr ? " data=null" : " data=unsized");
    fputc('\n', out);
}
