#include "repairtool/RealFilePath.h"

#include <system_error>

std::filesystem::path RealFilePath(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path real = std::filesystem::canonical(path, error);
    if (!error) {
        return real;
    }
    real = std::filesystem::absolute(path, error);
    return error ? path : real;
}
