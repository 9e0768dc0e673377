#include "PluginLibrary.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "VaultFiles.h"
#include "VaultSettings.h"

namespace DatabaseInterfaces {
namespace detail {
namespace {

const char* const kDefaultFolder = "/usr/lib/vault/plugins";

// Where an install puts the plug-ins, relative to the folder of this library
// (set by the build to match the install layout).
#ifndef VAULT_PLUGIN_FOLDER_FROM_LIBRARY
#define VAULT_PLUGIN_FOLDER_FROM_LIBRARY "../plugins"
#endif

// Any object of this library: its address tells the loader which file this
// library was loaded from.
const char gLibraryAnchor = 0;

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

// Loaded plug-ins by path. Entries are never removed, so references handed
// out stay valid for the life of the process.
std::map<std::string, std::unique_ptr<PluginEntryPoints>>& registry() {
    static auto* plugins = new std::map<std::string, std::unique_ptr<PluginEntryPoints>>;
    return *plugins;
}

void* entryPoint(void* handle, const char* name, const std::string& path) {
    dlerror();
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr)
        throw std::runtime_error(std::string("no entry point '") + name + "' in database plug-in '" + path + "'");
    return symbol;
}

bool isFile(const std::string& path) {
    return VaultFiles::FileSystem::real().status(path, VaultFiles::Links::Follow).kind == VaultFiles::FileKind::Regular;
}

std::string readProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return std::string();
    std::string path(buffer, static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string findInstalledPluginFolder() {
    Dl_info info{};
    if (::dladdr(&gLibraryAnchor, &info) == 0 || info.dli_fname == nullptr) return std::string();
    const std::string library = info.dli_fname;
    const size_t slash = library.rfind('/');
    if (slash == std::string::npos) return std::string();
    return library.substr(0, slash) + "/" + VAULT_PLUGIN_FOLDER_FROM_LIBRARY;
}

// The folder of the running program; it cannot change while the process
// runs, so it is read once.
const std::string& programFolder() {
    static const std::string folder = readProgramFolder();
    return folder;
}

// The installed plug-in folder beside this library, or empty when the
// loader cannot say where the library lives. Read once: the library does not
// move while it is loaded.
const std::string& installedPluginFolder() {
    static const std::string folder = findInstalledPluginFolder();
    return folder;
}

}  // namespace

std::string pluginFolder(const std::string& pluginName) {
    if (const char* fromEnvironment = std::getenv("VAULT_PLUGIN_DIR")) {
        if (*fromEnvironment != '\0') return fromEnvironment;
    }
    const std::string configured = NodeConfig::get("database", "PluginFolder");
    if (!configured.empty()) return configured;
    const std::string fileName = "/lib" + pluginName + ".so";
    const std::string installed = installedPluginFolder();
    if (!installed.empty() && isFile(installed + fileName)) return installed;
    // A build folder keeps plug-ins and libraries together in lib/.
    const std::string program = programFolder();
    if (!program.empty()) {
        const std::string beside = program + "/../lib";
        if (isFile(beside + fileName)) return beside;
    }
    return installed.empty() ? kDefaultFolder : installed;
}

const PluginEntryPoints& loadPlugin(const std::string& pluginName, const std::string& path) {
    std::lock_guard<std::mutex> lock(registryMutex());
    auto found = registry().find(path);
    if (found != registry().end()) return *found->second;

    // The handle is deliberately never closed: interfaces and threads of the
    // plug-in may outlive any one manager.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load database plug-in '" + pluginName + "' from '" + path +
                                 "': " + (reason != nullptr ? reason : "unknown error"));
    }
    auto plugin = std::make_unique<PluginEntryPoints>();
    plugin->path = path;
    void (*initLibrary)() = nullptr;
    try {
        initLibrary = reinterpret_cast<void (*)()>(entryPoint(handle, "initLibrary", path));
        plugin->getDatabaseFactory = reinterpret_cast<decltype(plugin->getDatabaseFactory)>(
            entryPoint(handle, "getDatabaseFactory", path));
    } catch (...) {
        // Nothing of the library has been called yet, so it can go again.
        ::dlclose(handle);
        throw;
    }
    initLibrary();
    return *registry().emplace(path, std::move(plugin)).first->second;
}

}  // namespace detail
}  // namespace DatabaseInterfaces
