#include "batch/LogFolder.h"

#include <boost/filesystem.hpp>
#include <exception>
#include <iostream>

#include "platform/SystemConventions.h"
#include "platform/TerminalText.h"

namespace {

const char* const kCreateProblem = "There was a problem trying to create the log folder.";

}  // namespace

std::string WithTrailingSeparator(std::string folder) {
    const char separator = Conventions().folderSeparator;
    if (!folder.empty() && folder.back() != separator) {
        folder += separator;
    }
    return folder;
}

bool CreateLogFolder(const std::string& folder) {
    // A file in the folder's place would make every line of the run fail; refuse it as plainly.
    std::string named = folder;
    while (named.size() > 1 && named.back() == Conventions().folderSeparator) {
        named.pop_back();
    }
    boost::system::error_code error;
    const boost::filesystem::file_status status =
        boost::filesystem::status(boost::filesystem::path(named), error);
    if (boost::filesystem::exists(status) && !boost::filesystem::is_directory(status)) {
        std::cout << "The log folder " << StdoutText(named) << " is a file, not a folder."
                  << std::endl;
        return false;
    }
    try {
        if (boost::filesystem::create_directory(boost::filesystem::path(folder))) {
            return true;
        }
        std::cout << kCreateProblem << std::endl;
    } catch (const boost::filesystem::filesystem_error& e) {
        std::cout << StdoutText(e.what()) << std::endl;
    } catch (const std::exception&) {
        std::cout << kCreateProblem << std::endl;
    }
    return false;
}
