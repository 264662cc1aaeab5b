// A temporary directory for a test, removed with everything in it.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class TempDir {
public:
    // The prefix names what the directory is for, so one left behind by a
    // killed test tells whose it was.
    explicit TempDir(const std::string& prefix = "ringpost-test") {
        std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot create a directory " + tmpl + ": " + std::strerror(errno));
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    void write(const std::string& name, const std::string& content) const {
        std::ofstream f(file(name), std::ios::binary | std::ios::trunc);
        f << content;
    }
    std::string read(const std::string& name) const {
        std::ifstream f(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    void mkdir(const std::string& name) const { std::filesystem::create_directories(file(name)); }

private:
    std::string path_;
};
