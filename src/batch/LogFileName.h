#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <string>

// The log file name for a moment, for example 2008-Mar-7-09-05-02.log: year, English month
// abbreviation, day without a leading zero, then hours, minutes and seconds as two digits each.
std::string LogFileNameAt(const boost::posix_time::ptime& moment);

// The log file name for the current local time, to the second. Falls back to UTC in the
// unlikely case that the clock can't be converted to local time.
std::string LogFileName();
