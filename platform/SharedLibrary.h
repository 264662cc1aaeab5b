// A shared library opened at run time and the address of one of its exports.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { close(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // False, with the loader's reason in *error, when the file cannot be loaded.
    bool open(const std::string& path, std::string* error = nullptr);
    bool isOpen() const { return handle_ != nullptr; }
    // Null when the library has no such export.
    void* symbol(const char* name) const;
    void close();

    // Whether the file is loaded in this process at all (by anyone).
    static bool isLoaded(const std::string& path);

private:
    void* handle_ = nullptr;
};

}  // namespace platform
