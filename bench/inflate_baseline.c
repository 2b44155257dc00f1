/* The baseline of a whole install: the least a program can do to put American.dct in place, inflating a
   zlib stream from a file into the target file. inflate_baseline SOURCE TARGET; exit code 0 when done. */
#include <stdio.h>
#include <zlib.h>

int main(int argc, char** argv) {
  static unsigned char in[65536], out[262144];
  z_stream z = {0};
  FILE *source, *target;
  int result = Z_OK;
  if (argc != 3 || (source = fopen(argv[1], "rb")) == NULL) return 1;
  if ((target = fopen(argv[2], "wb")) == NULL || inflateInit(&z) != Z_OK) return 1;
  while (result != Z_STREAM_END) {
    if (z.avail_in == 0) {
      z.avail_in = (uInt)fread(in, 1, sizeof in, source);
      z.next_in = in;
      if (z.avail_in == 0) return 1;
    }
    z.next_out = out;
    z.avail_out = sizeof out;
    result = inflate(&z, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) return 1;
    if (fwrite(out, 1, sizeof out - z.avail_out, target) != sizeof out - z.avail_out) return 1;
  }
  inflateEnd(&z);
  fclose(source);
  return fclose(target) == 0 ? 0 : 1;
}
