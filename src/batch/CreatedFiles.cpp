#include "batch/CreatedFiles.h"

#include <boost/filesystem.hpp>

namespace {

// Empty when the path can't be resolved (it no longer exists, for one).
std::string CanonicalPath(const std::string& path) {
    boost::system::error_code error;
    const boost::filesystem::path canonical = boost::filesystem::canonical(path, error);
    return error ? std::string() : canonical.string();
}

}  // namespace

void CreatedFiles::add(const std::string& path) {
    if (std::string canonical = CanonicalPath(path); !canonical.empty()) {
        canonicalPaths_.insert(std::move(canonical));
    }
}

bool CreatedFiles::contains(const std::string& path) const {
    if (canonicalPaths_.empty()) {
        return false;
    }
    const std::string canonical = CanonicalPath(path);
    return !canonical.empty() && canonicalPaths_.count(canonical) != 0;
}
