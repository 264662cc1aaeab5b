#include "SharedLibrary.h"

#include <dlfcn.h>

namespace platform {

bool SharedLibrary::open(const std::string& path, std::string* error) {
    close();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_ && error) {
        const char* why = ::dlerror();
        *error = why ? why : "cannot load " + path;
    }
    return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

void SharedLibrary::close() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

bool SharedLibrary::isLoaded(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return false;
    ::dlclose(h);
    return true;
}

}  // namespace platform
