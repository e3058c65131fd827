#pragma once

#include <cstdint>
#include <string>

// A tool's exit status is not proof: what dvdauthor and genisoimage made is judged before
// it takes a finished name. Both read only a few sectors and trust no number they read.

// Throws Failure("Cannot author the disc", why) unless `videoTs` holds a whole disc: the
// menu set's and every title set's information file opens, its backup matches it, and
// the files of each set hold exactly the sectors its information file names.
void JudgeVideoTs(const std::string& videoTs);

// Throws Failure(`failed`, why) unless the image open on `fd` is `expectedBytes` long,
// is an ISO 9660 volume and its root folder lists VIDEO_TS.
void JudgeDiscImage(int fd, std::uint64_t expectedBytes, const std::string& failed);
