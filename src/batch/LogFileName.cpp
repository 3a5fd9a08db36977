#include "batch/LogFileName.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <iomanip>
#include <sstream>
#include <stdexcept>

std::string LogFileNameAt(const boost::posix_time::ptime& moment) {
    const boost::gregorian::date day = moment.date();
    const boost::posix_time::time_duration time = moment.time_of_day();
    std::ostringstream name;
    name << static_cast<int>(day.year()) << '-' << day.month().as_short_string() << '-'
         << static_cast<int>(day.day()) << std::setfill('0') << '-' << std::setw(2) << time.hours()
         << '-' << std::setw(2) << time.minutes() << '-' << std::setw(2) << time.seconds()
         << ".log";
    return name.str();
}

std::string LogFileName() {
    boost::posix_time::ptime now;
    try {
        now = boost::posix_time::second_clock::local_time();
    } catch (const std::runtime_error&) {
        now = boost::posix_time::second_clock::universal_time();
    }
    return LogFileNameAt(now);
}
