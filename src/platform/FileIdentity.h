#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// What tells one file from every other on the machine, whatever name it is reached by: two hard
// links of one file have the same identity. The file system's volume and the file's number on it
// (device and inode on POSIX; volume serial number and file index on Windows).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;

    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && file == other.file;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

template <>
struct std::hash<FileIdentity> {
    std::size_t operator()(const FileIdentity& id) const noexcept {
        return std::hash<std::uint64_t>()(id.file * 0x9E3779B97F4A7C15ull ^ id.volume);
    }
};
