#pragma once

#include "exitstatus.h"

#include <string>

// tavrel --burn DEVICE --iso FILE [--speed N]: writes a disc image to a DVD writer, reads
// it back and checks that the disc plays.
int RunBurnCommand(int argc, char** argv);

// --speed's value: a DVD speed factor from 1 to 24. Throws CommandUsageError.
int ReadBurnSpeed(const std::string& value);

// Burns `iso` in `device` ("auto": the only writer present), reads the disc back and runs
// the self-check on it; prints what happens. Runs inside the caller's SignalCancelScope. Ok,
// BurnFailed or VerifyFailed.
ExitStatus BurnAndCheck(const std::string& device, const std::string& iso, int speed);
