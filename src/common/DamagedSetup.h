#pragma once

#include <stdexcept>

// Raised when bytes the executable carries differ from what the build recorded for them:
// a broken download or failing medium. It unwinds like any failure, so that everything
// written so far is deleted, and is answered at the entry point with a message of its own.
class DamagedSetup : public std::runtime_error {
  public:
    DamagedSetup() : std::runtime_error("The setup file is damaged.") {}
};
