// JPEG glue for the 16-bit IJG build with the lossless extension (symbols prefixed gdcmjpeg16_).
#include "imaging/jpeg_decoder.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include "gdcmjpeg/16/jpeglib.h"
}

#define JPEG_GLUE_FUNCTION DecodeJpegIjg16
#include "imaging/jpeg_decoder_glue.inc"
