/* The decoder's one implementation unit: Debian ships stb_vorbis as a header that carries
   its implementation unless STB_VORBIS_HEADER_ONLY is defined. */
#include <stb_vorbis.h>
