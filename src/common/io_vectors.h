#pragma once
// Vectored reads and writes move any number of bytes per call: this steps over
// the entries (and into a partly done one) that a call has finished.
#include <sys/uio.h>

#include <cstddef>
#include <vector>

inline void AdvanceIoVectors(std::vector<iovec> &iov, size_t &first, size_t done)
{
    while (first < iov.size() && done >= iov[first].iov_len)
        done -= iov[first++].iov_len;
    if (done) {
        iov[first].iov_base = static_cast<char *>(iov[first].iov_base) + done;
        iov[first].iov_len -= done;
    }
}
