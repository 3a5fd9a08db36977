#pragma once

#include <string>

#include "errors/Exception.h"

// The one-line report of an exception: its class text, then " [detail]" when it has a detail.
std::string FullMessage(const Exception& exception);
