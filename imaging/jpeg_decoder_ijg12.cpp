// JPEG glue for the 12-bit IJG build with the lossless extension (symbols prefixed gdcmjpeg12_).
#include "imaging/jpeg_decoder.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include "gdcmjpeg/12/jpeglib.h"
}

#define JPEG_GLUE_FUNCTION DecodeJpegIjg12
#include "imaging/jpeg_decoder_glue.inc"
