#pragma once

// The exit status of every command, as --help and the README document them.
enum class ExitStatus {
    Ok = 0,
    WriteFailed = 1,      // a file could not be written
    BadUsage = 2,         // a bad option or value
    LoadFailed = 3,       // the project, a table, a movie or a picture could not be loaded
    Warnings = 4,         // --check found something
    SubpictureFailed = 5, // the disc menu's spumux step failed or spumux is missing
    RowsFailed = 6,       // some rows of a table failed (the others are written)
    DiscFailed = 7,       // --dvd: encoding, authoring or the disc image failed
    VerifyFailed = 8,     // the disc did not play as it should
    BurnFailed = 9,       // --burn: the disc could not be written or did not read back
};

constexpr int ToExitCode(ExitStatus status)
{
    return static_cast<int>(status);
}
