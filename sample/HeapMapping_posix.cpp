// The heap's mapping on a POSIX system: an anonymous private mapping that never replaces another.
#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

#include "HeapMapping.h"

uintptr_t HeapAddress() { return 0x5C000000; }
size_t HeapBytes() { return size_t(256) << 20; }

Mapping MapAt(void* address, size_t size) {
    void* mapped = mmap(address, size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (mapped == address) return Mapping::kMapped;
    if (mapped != MAP_FAILED) {
        munmap(mapped, size);  // a kernel that placed it elsewhere
        return Mapping::kTaken;
    }
    return errno == EEXIST ? Mapping::kTaken : Mapping::kFailed;
}

bool MappedAt(const void* address) {
    unsigned char resident;
    return mincore(const_cast<void*>(address), static_cast<size_t>(sysconf(_SC_PAGESIZE)), &resident) == 0;
}
