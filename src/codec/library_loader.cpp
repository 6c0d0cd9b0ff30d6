#include "codec/library_loader.h"

#include <QFile>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <strings.h>

namespace {
QString g_lastError;

// The dynamic loader usually rewrites these entries to run-time addresses,
// but not on every libc: take an unrelocated one relative to the base.
template <typename T>
const T *DynPointer(ElfW(Addr) base, ElfW(Addr) value)
{
    return reinterpret_cast<const T *>(value < base ? base + value : value);
}

// Number of entries of the dynamic symbol table.
size_t SymbolCount(const ElfW(Word) *sysvHash, const ElfW(Word) *gnuHash)
{
    if (sysvHash)
        return sysvHash[1];
    if (!gnuHash)
        return 0;
    const ElfW(Word) buckets = gnuHash[0];
    const ElfW(Word) symOffset = gnuHash[1];
    const ElfW(Word) bloomWords = gnuHash[2];
    const auto *bloom = reinterpret_cast<const ElfW(Addr) *>(gnuHash + 4);
    const auto *bucket = reinterpret_cast<const ElfW(Word) *>(bloom + bloomWords);
    const ElfW(Word) *chain = bucket + buckets;
    ElfW(Word) last = 0;
    for (ElfW(Word) i = 0; i < buckets; ++i)
        if (bucket[i] > last)
            last = bucket[i];
    if (last < symOffset)
        return symOffset;
    while (!(chain[last - symOffset] & 1))
        ++last;
    return last + 1;
}

void *FindIgnoringCase(void *library, const link_map *map, const char *name)
{
    const ElfW(Addr) base = map->l_addr;
    const ElfW(Sym) *symbols = nullptr;
    const char *strings = nullptr;
    const ElfW(Word) *sysvHash = nullptr;
    const ElfW(Word) *gnuHash = nullptr;
    for (const ElfW(Dyn) *d = map->l_ld; d && d->d_tag != DT_NULL; ++d) {
        switch (d->d_tag) {
        case DT_SYMTAB: symbols = DynPointer<ElfW(Sym)>(base, d->d_un.d_ptr); break;
        case DT_STRTAB: strings = DynPointer<char>(base, d->d_un.d_ptr); break;
        case DT_HASH: sysvHash = DynPointer<ElfW(Word)>(base, d->d_un.d_ptr); break;
        case DT_GNU_HASH: gnuHash = DynPointer<ElfW(Word)>(base, d->d_un.d_ptr); break;
        default: break;
        }
    }
    if (!symbols || !strings)
        return nullptr;
    const size_t count = SymbolCount(sysvHash, gnuHash);
    for (size_t i = 1; i < count; ++i) {
        const ElfW(Sym) &s = symbols[i];
        if (s.st_shndx == SHN_UNDEF || s.st_value == 0)
            continue;
        #if __SIZEOF_POINTER__ == 8
        const int type = ELF64_ST_TYPE(s.st_info);
#else
        const int type = ELF32_ST_TYPE(s.st_info);
#endif
        if (type != STT_FUNC && type != STT_OBJECT && type != STT_GNU_IFUNC)
            continue;
        if (strcasecmp(strings + s.st_name, name) != 0)
            continue;
        // Let the loader resolve the exact spelling (handles indirect functions).
        return dlsym(library, strings + s.st_name);
    }
    return nullptr;
}
}

LibraryHandle LoadLibraryFile(const QString &file)
{
    dlerror();
    void *handle = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        g_lastError = why ? QString::fromLocal8Bit(why) : file;
    }
    return handle;
}

QString LastLibraryError() { return g_lastError; }

void *FindLibraryExport(LibraryHandle library, const char *name)
{
    if (!library || !name || !*name)
        return nullptr;
    dlerror();
    if (void *address = dlsym(library, name))
        return address;
    link_map *map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    return FindIgnoringCase(library, map, name);
}

void FreeLibraryFile(LibraryHandle library)
{
    if (library)
        dlclose(library);
}
