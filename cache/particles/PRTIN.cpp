#include "cache/particles/PRTIN.h"

#include <new>

#include "cache/particles/ParticleChannelTable.h"

PRTIN::PRTIN(CVNUtils::CvnArray<char, long long>& output,
             const CVNUtils::CvnArray<unsigned int, long long>& planes, int channel)
    : CvnParallel(nullptr), output(output), planes(planes), channel(channel) {
  words = ParticleChannelWords(channel);
  particles = words > 0 ? output.size() / (4LL * words) : 0;
  blocks = (particles + 31) / 32;
}

bool PRTIN::run() {
  // The planes must cover every bit of every component of every block.
  if (planes.size() < static_cast<long long>(words) * 32 * blocks) return false;
  if (particles == 0) return true;
  auto* reassembly = new (std::nothrow) CVNUtils::TMTJobProcHolder<PRTIN>(this, &PRTIN::reassemble);
  if (!reassembly) return false;
  setupThreads(-1);
  splitRange(particles);
  installHolder(reassembly);
  runHolderJobs();
  return true;
}

void PRTIN::reassemble(CVNUtils::Job& job) {
  unsigned int* out = reinterpret_cast<unsigned int*>(output.data);
  for (long long i = job.start; i < job.end; ++i) {
    const long long lane = i % 32;
    const long long block = i / 32;
    for (int c = 0; c < words; ++c) {
      unsigned int value = 0;
      const unsigned int* plane = planes.data + static_cast<long long>(c) * 32 * blocks + block;
      for (int k = 0; k < 32; ++k) {
        value |= ((plane[k * blocks] >> lane) & 1u) << k;
      }
      out[i * words + c] = value;
    }
  }
}
