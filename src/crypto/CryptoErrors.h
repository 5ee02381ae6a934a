#pragma once
// Errors raised by the digest primitives (Sha3B, Crc32).
#include <stdexcept>

namespace kelvo::Communication::Common {

// An operation called in a state or with a request the object cannot serve,
// for instance squeezing a number of bits that is not a whole number of bytes.
class InvalidOperationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An argument outside what the primitive supports (an unsupported SHA-3 bit
// length, a byte range outside the buffer given).
class ArgumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kelvo::Communication::Common
