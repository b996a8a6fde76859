#pragma once

#include <stdexcept>

// The engine's own error: every failure that ends an option, a set-up step or
// a transcoding run is raised as one of these, carrying the message a person
// sees.
class FFMpegException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
