// kvnscan-decode: decodes one picture file for KVNscan under hard limits and
// hands the 24-bit pixels back in the shared memory at descriptor 3.
//   kvnscan-decode <largest picture in bytes> <processor seconds> <file>
// Any fault ends this process only; the program reads the reason from how it ended.
#include "codec/freeimage_library.h"
#include "common/filez.h"
#include "common/sanitizer.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_file.h"

#include <QFile>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <vector>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The sanitizer's shadow needs terabytes; it limits itself.
constexpr bool kLimitAddressSpace = !kAddressSanitized;

DecodedHeader *g_header = nullptr;
bool g_outOfMemory = false;
bool g_incomplete = false;   // libjpeg's "Premature end of JPEG file": the rest comes out grey

void Limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit r{soft, hard};
    ::setrlimit(resource, &r);
}

qint64 AddressSpaceInUse()
{
    long long pages = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return qint64(pages) * ::sysconf(_SC_PAGESIZE);
}

// No file is made, changed, renamed or removed from here: opening for writing
// and every call that makes or removes a name fail with EPERM.
void ForbidFileChanges()
{
#if defined(__x86_64__)
    constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    return;
#endif
    const uint32_t writeFlags = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC;
    auto argLow = [](int i) { return uint32_t(offsetof(seccomp_data, args) + 8 * i); };
    std::vector<sock_filter> f;
    auto stmt = [&](uint16_t code, uint32_t k) { f.push_back(BPF_STMT(code, k)); };
    auto jump = [&](uint16_t code, uint32_t k, uint8_t t, uint8_t e) { f.push_back(BPF_JUMP(code, k, t, e)); };
    const uint32_t deny = SECCOMP_RET_ERRNO | EPERM;
    stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch));
    jump(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0);
    stmt(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr));
    // Opening: allowed unless for writing or creating (flags in the 2nd or 3rd argument).
    const std::pair<long, int> opens[] = {
#ifdef __NR_open
        {__NR_open, 1},
#endif
        {__NR_openat, 2},
    };
    for (const auto &[nr, arg] : opens) {
        jump(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 4);
        stmt(BPF_LD | BPF_W | BPF_ABS, argLow(arg));
        jump(BPF_JMP | BPF_JSET | BPF_K, writeFlags, 0, 1);
        stmt(BPF_RET | BPF_K, deny);
        stmt(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    }
    const long changes[] = {
#ifdef __NR_creat
        __NR_creat, __NR_mkdir, __NR_rename, __NR_link, __NR_symlink, __NR_unlink, __NR_rmdir, __NR_mknod,
        __NR_chmod,
#endif
        __NR_openat2, __NR_mkdirat, __NR_renameat, __NR_renameat2, __NR_linkat, __NR_symlinkat, __NR_unlinkat,
        __NR_mknodat, __NR_truncate, __NR_fchmodat, __NR_open_by_handle_at,
    };
    for (long nr : changes) {
        jump(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 1);
        stmt(BPF_RET | BPF_K, deny);
    }
    stmt(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    const sock_fprog program{uint16_t(f.size()), f.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0)
        ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program);
}

[[noreturn]] void Finish(PictureDecodeResult result)
{
    g_header->result = int32_t(result);
    __atomic_store_n(&g_header->magic, kDecodedMagic, __ATOMIC_RELEASE);
    std::fflush(nullptr);
    ::_exit(0);
}

// The library reports a failed allocation as an ordinary error.
void DLL_CALLCONV LibraryMessage(FREE_IMAGE_FORMAT, const char *message)
{
    if (message && (std::strstr(message, "emory") || std::strstr(message, "llocat")))
        g_outOfMemory = true;
    if (message && std::strstr(message, "remature end"))
        g_incomplete = true;
}
}

namespace {

// Processor time, and no file that grows: for messages to an output that is a
// file (a log) a little room past its end; writing past that fails, quietly.
void LimitTimeAndFiles(int seconds)
{
    Limit(RLIMIT_CPU, rlim_t(seconds), rlim_t(seconds) + 1);
    qint64 outputEnd = 0;
    for (int fd : {1, 2}) {
        struct stat out;
        if (::fstat(fd, &out) == 0 && S_ISREG(out.st_mode))
            outputEnd = std::max<qint64>(outputEnd, qint64(out.st_size) + (qint64(1) << 20));
    }
    std::signal(SIGXFSZ, SIG_IGN);
    Limit(RLIMIT_FSIZE, rlim_t(outputEnd), rlim_t(outputEnd));
    Limit(RLIMIT_CORE, 0, 0);
}

// Maps the header at the start of the shared memory; the room for pixels past
// it, or -1 when the program handed over none.
qint64 MapHeader()
{
    struct stat st;
    if (::fstat(kDecoderMemoryFd, &st) != 0 || st.st_size < kDecodedPixelsOffset)
        return -1;
    void *head = ::mmap(nullptr, kDecodedPixelsOffset, PROT_READ | PROT_WRITE, MAP_SHARED, kDecoderMemoryFd, 0);
    if (head == MAP_FAILED)
        return -1;
    g_header = static_cast<DecodedHeader *>(head);
    return qint64(st.st_size) - kDecodedPixelsOffset;
}

// The address space, limited to what decoding a picture of pictureBytes may
// take. Once the header's size is known (the call returned) the picture may
// have what it needs: up to 16 bytes a pixel while decoding, the same again
// converted, and the 3 handed over.
std::function<void(qint64)> LimitAddressSpace(qint64 pictureBytes)
{
    const qint64 base = AddressSpaceInUse();
    const qint64 budget = DecodeAddressSpace(pictureBytes);
    if (kLimitAddressSpace)
        Limit(RLIMIT_AS, rlim_t(base + budget), rlim_t(base + budget));
    return [base, budget](qint64 pixels) {
        if (kLimitAddressSpace && pixels > 0 && pixels < budget)
            Limit(RLIMIT_AS, rlim_t(base + std::min(budget, pixels * 36 + (qint64(256) << 20))),
                  rlim_t(base + budget));
    };
}

// The decoded picture's memory: the shared memory past the header, mapped for
// one picture at a time.
class PixelMemory {
public:
    explicit PixelMemory(qint64 capacity) : m_capacity(capacity) {}

    QImage newPicture24(int width, int height)
    {
        if (m_mapped)
            ::munmap(m_mapped, m_bytes);
        m_mapped = nullptr;
        const qint64 bytesPerLine = (qint64(width) * 3 + 3) & ~qint64(3);
        if (width <= 0 || height <= 0 || bytesPerLine * height > m_capacity)
            return QImage();
        m_bytes = size_t(kDecodedPixelsOffset + bytesPerLine * height);
        void *m = ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_SHARED, kDecoderMemoryFd, 0);
        if (m == MAP_FAILED)
            return QImage();
        m_mapped = static_cast<uchar *>(m);
        return QImage(m_mapped + kDecodedPixelsOffset, width, height, qsizetype(bytesPerLine), QImage::Format_BGR888);
    }
    // Whether picture lies in this memory, as every way of decoding hands it over.
    bool holds(const QImage &picture) const
    {
        return m_mapped && picture.constBits() == m_mapped + kDecodedPixelsOffset
            && picture.format() == QImage::Format_BGR888;
    }

private:
    const qint64 m_capacity;
    uchar *m_mapped = nullptr;
    size_t m_bytes = 0;
};

// Tells the program how decoding ended and, when decoded, what the picture is.
[[noreturn]] void HandOver(PictureDecodeResult result, const QImage &picture, const PixelMemory &memory)
{
    if (result == PictureDecodeResult::Damaged && g_outOfMemory)
        result = PictureDecodeResult::TooLarge;
    if (result == PictureDecodeResult::Decoded) {
        if (!memory.holds(picture))
            Finish(PictureDecodeResult::Damaged);
        g_header->width = picture.width();
        g_header->height = picture.height();
        g_header->bytesPerLine = picture.bytesPerLine();
        g_header->dotsPerMeterX = picture.dotsPerMeterX();
        g_header->dotsPerMeterY = picture.dotsPerMeterY();
        g_header->incomplete = g_incomplete ? 1 : 0;
    }
    Finish(result);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return kDecoderStartedWrongly;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);   // never outlives the program
    const qint64 pictureBytes = std::strtoll(argv[1], nullptr, 10);
    const int seconds = std::max(1, std::atoi(argv[2]));
    const QString path = PathFromNative(argv[3]); // the name's own bytes, UTF-8 or not
    LimitTimeAndFiles(seconds);
    const qint64 capacity = pictureBytes > 0 ? MapHeader() : -1;
    if (capacity < 0)
        return kDecoderStartedWrongly;
    std::set_new_handler([] { Finish(PictureDecodeResult::TooLarge); });

    SetPictureByteLimit(pictureBytes);
    if (!BindImageLibrary())
        Finish(PictureDecodeResult::NoLibrary);
    FI().SetOutputMessage(LibraryMessage);
    ForbidFileChanges();
    const std::function<void(qint64)> claimed = LimitAddressSpace(pictureBytes);
    PixelMemory memory(capacity);
    QImage picture;
    const PictureDecodeResult result = DecodePictureFile(
        path, picture, [&memory](int width, int height) { return memory.newPicture24(width, height); }, claimed);
    HandOver(result, picture, memory);
}
