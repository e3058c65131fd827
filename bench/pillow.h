#pragma once

// Times Pillow on the same pixels in the same run, as the figure our code is held to.
// The figure is processor time, which a busy machine disturbs less than elapsed time.
// Pillow is Debian's python3-pil run by /usr/bin/python3; without it the peer's
// benchmark reports an error instead of a figure.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

struct PillowRun {
    double seconds = -1; // best of the runs; negative when Pillow cannot be run
    double result = 0;   // what the expression gave, when it is a number
};

// Times `operation`, a Python expression on the RGB picture `im`, over `repeats` runs.
// `rgb` holds `height` rows of 3 * `width` bytes, `stride` bytes apart.
inline PillowRun RunPillow(const std::uint8_t* rgb, std::ptrdiff_t stride, int width, int height,
                           const char* operation, int repeats)
{
    std::string path = (std::filesystem::temp_directory_path() / "tavrel-pillow-XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd < 0)
        return {};
    close(fd);
    {
        std::ofstream out(path, std::ios::binary);
        for (int y = 0; y < height; ++y)
            out.write(reinterpret_cast<const char*>(rgb + y * stride), std::streamsize(3) * width);
    }
    const std::string script = "import io,sys,time\nfrom PIL import Image\n"
                               "im=Image.frombytes('RGB',(" +
                               std::to_string(width) + "," + std::to_string(height) + "),open('" +
                               path + "','rb').read())\nbest=1e9\nfor _ in range(" +
                               std::to_string(repeats) +
                               "):\n t=time.process_time()\n r=" + operation +
                               "\n best=min(best,time.process_time()-t)\n"
                               "print(best, r if isinstance(r,int) else 0)\n";
    const std::string command = "/usr/bin/python3 -c \"" + script + "\" 2>/dev/null";
    PillowRun run;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%lf %lf", &run.seconds, &run.result) != 2)
            run.seconds = -1;
        if (pclose(pipe) != 0)
            run.seconds = -1;
    }
    std::filesystem::remove(path);
    return run;
}

// Reports Pillow's best time as the benchmark's own.
inline void ReportPillow(benchmark::State& state, const PillowRun& run)
{
    if (run.seconds < 0) {
        state.SkipWithError("Pillow (python3-pil) is not available");
        return;
    }
    for (auto _ : state)
        state.SetIterationTime(run.seconds);
}
