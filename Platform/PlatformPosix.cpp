// The platform services on a POSIX system with the GNU dynamic loader: the image list from
// dl_iterate_phdr, modules through dlopen, directories through stat and mkdir, reads that cannot
// fault through process_vm_readv, or a pipe where that is forbidden.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <sys/uio.h>
#include <unistd.h>

#include <ctime>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Platform.h"

namespace {

struct ImageQuery {
    int wanted;
    int index;
    const void* header;
    const char* name;
};

const void* LoadAddress(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD)
            return reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
    }
    return reinterpret_cast<const void*>(info->dlpi_addr);
}

int VisitImage(dl_phdr_info* info, size_t, void* data) {
    ImageQuery* query = static_cast<ImageQuery*>(data);
    if (query->index++ != query->wanted) return 0;
    query->header = LoadAddress(info);
    query->name = info->dlpi_name;
    return 1;
}

ImageQuery FindImage(int index) {
    ImageQuery query = {index, 0, nullptr, nullptr};
    dl_iterate_phdr(VisitImage, &query);
    return query;
}

bool CopyText(char* dest, size_t size, const char* text) {
    if (dest == nullptr || size == 0) return false;
    return snprintf(dest, size, "%s", text) > 0;
}

// A fact that cannot be had: an empty text.
bool Unknown(char* dest, size_t size) {
    if (dest != nullptr && size != 0) dest[0] = '\0';
    return false;
}

int StatusOf(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return kStatusDirNotFound;
        case EEXIST: return kStatusDuplicateFile;
        case EACCES:
        case EPERM:
        case EROFS: return kStatusPermissionErr;
        case ENOMEM: return kStatusMemFull;
        case ENAMETOOLONG: return kStatusParamErr;
        default: return kStatusIoErr;
    }
}

}  // namespace

int PlatformImageCount() { return FindImage(-1).index; }

const void* PlatformImageHeader(int index) { return FindImage(index).header; }

const char* PlatformImageName(int index) { return FindImage(index).name; }

const void* PlatformOwnImageHeader() {
    Dl_info info;
    if (dladdr(reinterpret_cast<const void*>(&PlatformOwnImageHeader), &info) == 0) return nullptr;
    return info.dli_fbase;
}

void* PlatformModuleOpen(const char* path) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0) return nullptr;
    std::string file = path;
    if (S_ISDIR(st.st_mode)) {
        while (file.size() > 1 && file.back() == '/') file.pop_back();
        std::string name = file.substr(file.find_last_of('/') + 1);
        const std::string suffix = ".bundle";
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            name.resize(name.size() - suffix.size());
        file += "/Contents/MacOS/" + name;
    }
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* PlatformModuleSymbol(void* module, const char* name) {
    return module != nullptr ? dlsym(module, name) : nullptr;
}

void* PlatformModuleOrdinal(void*, unsigned) { return nullptr; }

void PlatformModuleRelease(void* module) {
    if (module != nullptr) dlclose(module);
}

int PlatformResolveDirectory(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) return StatusOf(errno);
    return S_ISDIR(st.st_mode) ? 0 : kStatusDirNotFound;
}

int PlatformCreateDirectory(const char* parent, const char* name) {
    const std::string path = std::string(parent) + "/" + name;
    return mkdir(path.c_str(), 0777) == 0 ? 0 : StatusOf(errno);
}

bool PlatformPathExists(const char* path) { return path != nullptr && access(path, F_OK) == 0; }

bool PlatformExpandPath(const char* path, char* dest, size_t size) {
    if (path == nullptr || strlen(path) >= size) return Unknown(dest, size);
    return CopyText(dest, size, path) || path[0] == '\0';
}

FILE* PlatformOpenFile(const char* path, const char* mode) { return fopen(path, mode); }

size_t PlatformWriteStream(FILE* stream, const char* bytes, size_t count, int* error) {
    const int fd = fileno(stream);
    size_t written = 0;
    while (written < count) {
        const ssize_t n = write(fd, bytes + written, count - written);
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            break;
        }
        written += static_cast<size_t>(n);
    }
    return written;
}

void PlatformReadClock(long long* seconds, long* microseconds, int64_t* monotonicNs) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    *seconds = static_cast<long long>(tv.tv_sec);
    *microseconds = static_cast<long>(tv.tv_usec);
    struct timespec monotonic;
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    *monotonicNs = static_cast<int64_t>(monotonic.tv_sec) * 1000000000 + monotonic.tv_nsec;
}

bool PlatformLocalTime(long long when, tm* local) {
    const time_t t = static_cast<time_t>(when);
    return localtime_r(&t, local) != nullptr;
}

bool PlatformUtcTime(long long when, tm* utc) {
    const time_t t = static_cast<time_t>(when);
    return gmtime_r(&t, utc) != nullptr;
}

// Bytes that go through a pipe: writing from memory that is missing or unreadable fails with
// EFAULT instead of raising SIGSEGV. Each write stays within one page, readable or not as a whole.
static size_t CopyThroughPipe(void* dest, const void* address, size_t size) {
    int ends[2];
    if (address == nullptr || pipe2(ends, O_CLOEXEC) != 0) return 0;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const char* from = static_cast<const char*>(address);
    char* to = static_cast<char*>(dest);
    size_t copied = 0;
    while (copied < size) {
        const size_t toPageEnd = page - reinterpret_cast<uintptr_t>(from + copied) % page;
        const size_t chunk = size - copied < toPageEnd ? size - copied : toPageEnd;
        ssize_t written;
        do written = write(ends[1], from + copied, chunk);
        while (written < 0 && errno == EINTR);
        if (written <= 0) break;
        size_t drained = 0;
        while (drained < static_cast<size_t>(written)) {
            const ssize_t n = read(ends[0], to + copied + drained, static_cast<size_t>(written) - drained);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            drained += static_cast<size_t>(n);
        }
        copied += drained;
        if (drained != chunk) break;
    }
    close(ends[0]);
    close(ends[1]);
    return copied;
}

// The kernel copies from this process's own memory and answers EFAULT where a page is missing or
// unreadable, instead of raising SIGSEGV. Where the system forbids that call (some sandboxes), a
// pipe does the same, a page at a time.
size_t PlatformCopyReadable(void* dest, const void* address, size_t size) {
    size_t copied = 0;
    while (copied < size && address != nullptr) {
        iovec local = {static_cast<char*>(dest) + copied, size - copied};
        iovec remote = {const_cast<char*>(static_cast<const char*>(address)) + copied, size - copied};
        const ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EPERM || errno == ENOSYS))
            return copied + CopyThroughPipe(static_cast<char*>(dest) + copied,
                                            static_cast<const char*>(address) + copied, size - copied);
        if (n <= 0) break;
        copied += static_cast<size_t>(n);
    }
    return copied;
}

int PlatformProcessId() { return static_cast<int>(getpid()); }

long PlatformThreadId() { return static_cast<long>(syscall(SYS_gettid)); }

bool PlatformExecutablePath(char* dest, size_t size) {
    if (dest == nullptr || size == 0) return false;
    const ssize_t n = readlink("/proc/self/exe", dest, size - 1);
    dest[n > 0 ? n : 0] = '\0';
    return n > 0;
}

bool PlatformSystemName(char* dest, size_t size) {
    utsname names;
    if (uname(&names) != 0) return Unknown(dest, size);
    char text[3 * sizeof(names.sysname) + 3];
    snprintf(text, sizeof(text), "%s %s %s", names.sysname, names.release, names.machine);
    return CopyText(dest, size, text);
}

bool PlatformTimeZone(long long when, char* dest, size_t size) {
    const time_t t = static_cast<time_t>(when);
    tm local;
    char text[64];
    if (localtime_r(&t, &local) == nullptr || strftime(text, sizeof(text), "%Z %z", &local) == 0)
        return Unknown(dest, size);
    return CopyText(dest, size, text);
}

bool PlatformFileFacts(const char* path, unsigned long long* size, long long* modified) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0) return false;
    *size = static_cast<unsigned long long>(st.st_size);
    *modified = static_cast<long long>(st.st_mtime);
    return true;
}

bool PlatformModulePathOf(const void* address, char* dest, size_t size) {
    Dl_info info;
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return Unknown(dest, size);
    // The loader names the main program as it was invoked, perhaps relative to a directory the
    // process has left since.
    if (info.dli_fbase == FindImage(0).header) return PlatformExecutablePath(dest, size);
    char resolved[PATH_MAX];
    return CopyText(dest, size, info.dli_fname[0] == '/' || realpath(info.dli_fname, resolved) == nullptr
                                    ? info.dli_fname : resolved);
}
