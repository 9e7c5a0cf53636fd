// JPEG glue for libjpeg-turbo (8-bit lossy frames, SIMD-fast).
#include "imaging/jpeg_decoder.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
}

#define JPEG_GLUE_FUNCTION DecodeJpegTurbo8
#include "imaging/jpeg_decoder_glue.inc"
