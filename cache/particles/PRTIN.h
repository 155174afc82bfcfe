// Parallel reassembly of a bit-plane particle channel (compression method 4).
//
// The planes hold, for blocks of 32 particles, one 32-bit word per component bit: bit l of word
// (c*32 + k)*B + b is bit k of component c of particle 32*b + l (B = ceil(n / 32)). Each job
// rebuilds the words of its own contiguous particle range.
#pragma once

#include "support/CvnArray.h"
#include "support/threading/CvnParallel.h"

class PRTIN : public CVNUtils::CvnParallel {
 public:
  // output: the channel's data (n * w words, sized by the caller); planes: the inflated words,
  // of every component, or with component >= 0 only that component's 32 * B words (the rest of
  // the output is then left alone).
  PRTIN(CVNUtils::CvnArray<char, long long>& output, const CVNUtils::CvnArray<unsigned int, long long>& planes,
        int channel, int component = -1);

  const char* name() override { return "MT PRTIN"; }
  // Runs the reassembly over all particles through a TMTJobProcHolder<PRTIN>; false when the
  // planes do not cover the particles or the holder cannot be allocated.
  bool run();
  // The reassembly of one job's particle range.
  void reassemble(CVNUtils::Job& job);

  CVNUtils::CvnArray<char, long long>& output;
  const CVNUtils::CvnArray<unsigned int, long long>& planes;
  int channel;
  int component;

 private:
  // The first plane word of component c's planes.
  const unsigned int* planesOf(int c) const;

  long long particles = 0;  // n = output bytes / (4 * w)
  long long blocks = 0;     // B = ceil(n / 32)
  int words = 0;            // w
};
