#pragma once
// libjpeg's error handling for our readers and writers: a fault jumps back to
// the caller instead of ending the process, and warnings stay quiet.
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

inline void JpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrorManager *>(info->err)->jump, 1);
}

inline void JpegQuiet(j_common_ptr, int) {}
