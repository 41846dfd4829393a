// Exception classes raised by the platform layer and the program's run-time helpers.
#pragma once
#include <stdexcept>
#include <string>

// File system failures (folder creation with an empty name, unwritable files...).
class EInOutError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A named module resource that does not exist.
class EResNotFound : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A text that does not convert to the number asked for.
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
