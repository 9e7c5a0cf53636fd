/* Reference: CharLS decoding every JPEG-LS stream of a stream file in memory into one reused
   buffer. Prints the frames and the wall and CPU milliseconds of the decoding (reading the file
   excluded). Usage: charls_decode FILE.streams */
#include "stream_file.h"

#include <charls/charls.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: charls_decode FILE.streams\n");
        return 2;
    }
    const StreamFile file = ReadStreamFile(argv[1]);
    OutputBuffer output = { NULL, 0 };
    size_t offset = 0, length = 0;
    int frames = 0;
    const Stopwatch stopwatch = StartStopwatch();
    for (const unsigned char* frame; (frame = NextFrame(&file, &offset, &length)) != NULL; ++frames) {
        charls_jpegls_decoder* decoder = charls_jpegls_decoder_create();
        size_t size = 0;
        if (decoder == NULL || charls_jpegls_decoder_set_source_buffer(decoder, frame, length)
            || charls_jpegls_decoder_read_header(decoder)
            || charls_jpegls_decoder_get_destination_size(decoder, 0, &size)) {
            fprintf(stderr, "frame %d: not decodable\n", frames + 1);
            return 1;
        }
        if (charls_jpegls_decoder_decode_to_buffer(decoder, Reserve(&output, size), size, 0)) {
            fprintf(stderr, "frame %d: decoding failed\n", frames + 1);
            return 1;
        }
        charls_jpegls_decoder_destroy(decoder);
    }
    PrintElapsed(frames, stopwatch);
    free(output.bytes);
    free(file.bytes);
    return 0;
}
