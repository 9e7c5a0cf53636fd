/* The stream file of extract_frames.py held in memory: frames of (4-byte little-endian length,
   bytes), and the clocks of the reference harnesses. */
#ifndef VELMORA_BENCH_STREAM_FILE_H
#define VELMORA_BENCH_STREAM_FILE_H

#define _POSIX_C_SOURCE 200809L /* clock_gettime; include this header first */

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct {
    unsigned char* bytes;
    size_t size;
} StreamFile;

/* Reads the whole file; exits with a message when it cannot. */
static StreamFile ReadStreamFile(const char* path)
{
    StreamFile file = { NULL, 0 };
    FILE* f = fopen(path, "rb");
    if (f == NULL || fseek(f, 0, SEEK_END) != 0) {
        fprintf(stderr, "cannot read %s\n", path);
        exit(2);
    }
    file.size = (size_t)ftell(f);
    rewind(f);
    file.bytes = malloc(file.size);
    if (file.bytes == NULL || fread(file.bytes, 1, file.size, f) != file.size) {
        fprintf(stderr, "cannot read %s\n", path);
        exit(2);
    }
    fclose(f);
    return file;
}

/* The next frame of the file after *offset (its length in *length), advancing *offset; NULL at
   the end. */
static const unsigned char* NextFrame(const StreamFile* file, size_t* offset, size_t* length)
{
    if (*offset + 4 > file->size)
        return NULL;
    const unsigned char* p = file->bytes + *offset;
    *length = (size_t)p[0] | (size_t)p[1] << 8 | (size_t)p[2] << 16 | (size_t)p[3] << 24;
    if (*offset + 4 + *length > file->size)
        return NULL;
    *offset += 4 + *length;
    return p + 4;
}

/* One decoded frame's memory, reused while frames are no larger; exits when it cannot grow. */
typedef struct {
    unsigned char* bytes;
    size_t capacity;
} OutputBuffer;

static unsigned char* Reserve(OutputBuffer* output, size_t size)
{
    if (size > output->capacity) {
        free(output->bytes);
        output->bytes = malloc(size);
        output->capacity = size;
        if (output->bytes == NULL) {
            fprintf(stderr, "out of memory\n");
            exit(2);
        }
    }
    return output->bytes;
}

/* Wall-clock and this process's CPU time, in seconds. */
static double Seconds(clockid_t clock)
{
    struct timespec t;
    clock_gettime(clock, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

typedef struct {
    double wall, cpu;
} Stopwatch;

static Stopwatch StartStopwatch(void)
{
    Stopwatch s = { Seconds(CLOCK_MONOTONIC), Seconds(CLOCK_PROCESS_CPUTIME_ID) };
    return s;
}

/* The line render_benchmark.py reads: frames, wall and CPU milliseconds of the decoding. */
static void PrintElapsed(int frames, Stopwatch s)
{
    printf("%d frames %.1f ms %.1f ms-cpu\n", frames, (Seconds(CLOCK_MONOTONIC) - s.wall) * 1e3,
        (Seconds(CLOCK_PROCESS_CPUTIME_ID) - s.cpu) * 1e3);
}

#endif
