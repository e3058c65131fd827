// Writes TestMovies() into the folder named on the command line. Each file is written
// under a temporary name and renamed, so that an interrupted run leaves no half movie.
#include "testmovies.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: maketestmovies FOLDER\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path folder = argv[1];
    fs::create_directories(folder);
    for (const TestMovie& m : TestMovies()) {
        MovieSpec spec = m.spec;
        const fs::path target = folder / m.file;
        // The extension picks the container, so it stays last.
        const fs::path partial = folder / (std::string("partial-") + m.file);
        spec.path = partial.string();
        const std::string error = MakeMovie(spec);
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s\n", m.file, error.c_str());
            return 1;
        }
        fs::rename(partial, target);
    }
    return 0;
}
