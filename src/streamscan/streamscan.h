#pragma once

#include "discplay/streamfacts.h"

// Reads a disc stream from start to end through FFmpeg's MPEG program stream demuxer: every
// video header, the audio of each track (its first packets decoded), the pack headers, and
// request.sampledGops whole GOPs decoded to look at the pictures. Stops at the deadline
// with facts.timedOut. What the stream holds never throws (a stream that is no MPEG gets
// facts.error); a source that cannot be read throws its Failure.
StreamFacts ScanDiscStream(SectorSource& source, const StreamScanRequest& request);
