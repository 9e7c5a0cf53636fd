// JPEG glue for the 8-bit IJG build with the lossless extension (symbols prefixed gdcmjpeg8_).
#include "imaging/jpeg_decoder.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include "gdcmjpeg/8/jpeglib.h"
}

#define JPEG_GLUE_FUNCTION DecodeJpegIjg8
#include "imaging/jpeg_decoder_glue.inc"
