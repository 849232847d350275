#pragma once

#include <stdexcept>

// Raised where the user's request to stop is noticed. It unwinds like any failure, so that
// everything written so far is released in the usual order, and is answered at the entry
// point without a message.
class Cancelled : public std::runtime_error {
  public:
    Cancelled() : std::runtime_error("Cancelled by the user.") {}
};
