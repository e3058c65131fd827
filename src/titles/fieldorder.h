#pragma once

#include "titleinfo.h"

extern "C" {
#include <libavformat/avformat.h>
}

// Whether the movie's pictures are whole or two fields, and which field comes first:
// what the stream says, else (at a height cameras record fields at) what the decoder marks
// on its first pictures, else measured from the pictures themselves (rows that comb
// against their neighbours where things move). Reads from the start of the stream; throws
// MediaError only for a read failure that is not the end of the file.
FieldOrder ReadFieldOrder(AVFormatContext* fmt, int stream);
