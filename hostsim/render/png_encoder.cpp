// The PNG encoder the offscreen pictures are written with: the header library's implementation,
// compiled in a file of its own. It is that library's code, not ours, so scripts/check-tidy.sh
// leaves this file out (its static analysis reports paths in the library no caller of ours takes).
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
