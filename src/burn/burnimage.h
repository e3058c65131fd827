#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes a finished disc image to a DVD writer through xorriso, then reads it back.

struct BurnRequest {
    std::string device; // "/dev/sr0", or "stdio:FILE" for a file that stands in for a writer
    std::string image;  // the ISO image to write
    int speed = 0;      // DVD speed factor (1x = 1385 kB/s); 0 leaves it to the drive
    std::string tool = "xorriso";
    int timeoutMs = 4 * 60 * 60 * 1000;
};

// Told what happens while a disc is burned; asked often whether to stop.
class BurnProgress {
public:
    virtual ~BurnProgress() = default;
    virtual void stage(const std::string& text) = 0;
    virtual void fraction(double done) = 0; // 0..1 of the current stage
    virtual bool cancelled() = 0;
};

// What the writer says about the disc in it.
struct BurnMedium {
    bool present = false;
    bool blank = false;
    bool overwriteable = false; // DVD+RW, DVD-RAM, formatted DVD-RW and files
    std::uint64_t freeBytes = 0;
};

struct BurnWriter {
    std::string device; // "/dev/sr0"
    std::string name;   // "HL-DT-ST DVDRAM GH24NSD1"
};

// The writers present; empty when there are none. Throws Failure when xorriso is missing.
std::vector<BurnWriter> ListBurnWriters(const std::string& tool = "xorriso");

// Asks the writer about its disc. Throws Failure with a message in words when there is no
// such writer or the tool cannot be run.
BurnMedium ProbeBurnMedium(const BurnRequest& request, BurnProgress& progress);

// Refuses a missing writer, a missing, written or too small disc; writes the image; reads
// the disc back and compares it with the image. Throws Failure naming what went wrong;
// throws BurnCancelled when the progress asked to stop.
void BurnImage(const BurnRequest& request, BurnProgress& progress);

// Where the written disc can be read: the device, or the file behind "stdio:".
std::string BurnedDiscPath(const std::string& device);

struct BurnCancelled : std::exception {
    const char* what() const noexcept override { return "Burning was cancelled"; }
};
