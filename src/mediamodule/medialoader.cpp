#include "mediamodule.h"

#include "base/failure.h"

#include <climits>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

// Installed and built beside the program, like the editor.
std::string modulePath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string name = "libtavrel-media.so";
    if (length <= 0)
        return name;
    const std::string path(self, static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1) + name;
}

const MediaFunctions* load()
{
    const std::string path = modulePath();
    // RTLD_NOW: a module that does not fit this program fails here, with the missing
    // name, not half way through a disc.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        throw Failure("Cannot load the movie support " + path, why ? why : "");
    }
    using Entry = const MediaFunctions* (*)();
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, "tavrel_media_functions"));
    const MediaFunctions* table = entry ? entry() : nullptr;
    if (!table || table->version != kMediaFunctionsVersion) {
        ::dlclose(module);
        throw Failure("Cannot load the movie support " + path,
                      "it belongs to another version of the program");
    }
    return table; // kept loaded for the rest of the process
}

} // namespace

const MediaFunctions& Media()
{
    // A failed load throws out of the initialiser, so the next call tries again.
    static const MediaFunctions* const table = load();
    return *table;
}
