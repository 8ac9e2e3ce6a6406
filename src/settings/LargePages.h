#pragma once

// Memory of megabytes that is filled at once (a large change log read, the list of its lines) may
// be given by the system in large pages: a fault per 2 MB instead of one per 4 KB, which would be
// much of the time of such a read. Only advice: a system without it, or that refuses it, gives the
// usual pages.

#include <QtGlobal>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qm {

inline void adviseLargePages(void* data, qint64 size) {
#if defined(MADV_HUGEPAGE)
    constexpr qint64 kLarge = 4 << 20;
    if (size < kLarge) {
        return;
    }
    const auto page = quintptr(::sysconf(_SC_PAGESIZE));
    const quintptr start = (quintptr(data) + page - 1) & ~(page - 1);
    const quintptr end = (quintptr(data) + quintptr(size)) & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

} // namespace qm
