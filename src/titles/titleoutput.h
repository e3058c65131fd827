#pragma once

extern "C" {
#include <libavformat/avio.h>
}

#include <memory>
#include <string>

// A title's file written by a muxer: an unnamed temporary file in the target's folder
// that takes the target's name only on commit(), so that a failure, a cancel or a killed
// run never leaves a half-written title under its real name.
class TitleOutput {
public:
    // Throws Failure when the folder cannot take a file.
    explicit TitleOutput(const std::string& path);
    ~TitleOutput(); // without commit(), the file is discarded
    TitleOutput(const TitleOutput&) = delete;
    TitleOutput& operator=(const TitleOutput&) = delete;

    AVIOContext* io() { return m_io; }
    // Flushes and gives the file its name, replacing what was there. Throws Failure with
    // the system's reason (a full disk).
    void commit();

private:
    static int writePacket(void* opaque, std::uint8_t* buf, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);

    std::string m_path;
    std::string m_named; // the temporary's name where O_TMPFILE is not supported
    int m_fd = -1;
    int m_error = 0; // the first write's errno
    AVIOContext* m_io = nullptr;
};
