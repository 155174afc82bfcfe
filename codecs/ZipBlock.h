// One zlib stream inflated into a buffer of known size, at once or part by part.
#pragma once

#include <memory>

// True when the whole zlib stream in source[0 .. sourceLength) was inflated into destination,
// which holds destinationLength bytes. Otherwise logs "[ERROR] Decompressing Zip (%d)\n" with
// zlib's code and returns false; a destination longer than the content keeps its tail.
bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength);
// The same, also giving the bytes the stream filled from the start of destination.
bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength, unsigned int& produced);

// The same stream inflated into consecutive parts of the destination, each part into a buffer of
// its own: a caller can work on one part before the next overwrites the buffer. Over all parts
// the result and the logged code are InflateBlock's for the parts laid end to end.
class InflateParts {
 public:
  InflateParts(const void* source, unsigned int sourceLength);
  ~InflateParts();
  InflateParts(const InflateParts&) = delete;
  InflateParts& operator=(const InflateParts&) = delete;

  // Inflates the next part of `length` bytes into destination; produced is how many the stream
  // filled (fewer once it has ended: the rest keep their contents). False, logged, once the
  // stream proved damaged or short; the parts after fail too.
  bool Next(void* destination, unsigned int length, unsigned int& produced);
  // After the last part: true when the stream ended within the parts; otherwise logged as
  // InflateBlock logs a destination too small for the stream.
  bool Finish();

 private:
  bool fail(int code);

  struct State;
  std::unique_ptr<State> state_;
  bool ended_ = false;
  bool failed_ = false;
};
