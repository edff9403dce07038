// Fixed-address stubs on x86-64: each one loads the target's address and jumps to it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "FixedCode.h"

namespace {

constexpr uintptr_t kStubPage = 0x5BFF0000;  // just below the shared heap
constexpr size_t kStubSize = 16;

struct StubPage {
    unsigned char* base = nullptr;
    size_t size = 0;
    size_t used = 0;
};

StubPage& Page() {
    static StubPage page = [] {
        StubPage made;
        made.size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* mapped = mmap(reinterpret_cast<void*>(kStubPage), made.size, PROT_READ | PROT_EXEC,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (mapped == reinterpret_cast<void*>(kStubPage)) made.base = static_cast<unsigned char*>(mapped);
        else if (mapped != MAP_FAILED) munmap(mapped, made.size);
        return made;
    }();
    return page;
}

}  // namespace

void* FixedStub(void* target) {
    StubPage& page = Page();
    if (page.base == nullptr || page.used + kStubSize > page.size) return target;
    unsigned char* stub = page.base + page.used;
    if (mprotect(page.base, page.size, PROT_READ | PROT_WRITE) != 0) return target;
    const uint64_t address = reinterpret_cast<uintptr_t>(target);
    const unsigned char load[] = {0x48, 0xB8};  // movabs rax, imm64
    const unsigned char jump[] = {0xFF, 0xE0};  // jmp rax
    memset(stub, 0xCC, kStubSize);              // int3 after the jump
    memcpy(stub, load, sizeof(load));
    memcpy(stub + sizeof(load), &address, sizeof(address));
    memcpy(stub + sizeof(load) + sizeof(address), jump, sizeof(jump));
    const bool executable = mprotect(page.base, page.size, PROT_READ | PROT_EXEC) == 0;
    if (!executable) return target;
    page.used += kStubSize;
    return stub;
}
