#include "cache/particles/PRTIN.h"

#include <cstdint>
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

namespace {

// Transposes a 32 x 32 bit matrix in place: afterwards bit k of a[l] is what bit l of a[k] was.
// Five rounds swap ever smaller off-diagonal blocks (16 x 16 down to 1 x 1).
void transpose32(uint32_t a[32]) {
  static const uint32_t kMasks[5] = {0x0000FFFFu, 0x00FF00FFu, 0x0F0F0F0Fu, 0x33333333u,
                                     0x55555555u};
  for (int round = 0, j = 16; j != 0; ++round, j >>= 1) {
    const uint32_t mask = kMasks[round];
    for (int k = 0; k < 32; k = (k + j + 1) & ~j) {
      const uint32_t t = ((a[k] >> j) ^ a[k + j]) & mask;
      a[k] ^= t << j;
      a[k + j] ^= t;
    }
  }
}

}  // namespace

// A block of 32 particles holds, per component, a 32 x 32 bit matrix whose rows are the plane
// words (row k: bit k of every lane) and whose columns are the particles: transposed, row l is
// the whole word of lane l. Blocks cut by the job's range give only the lanes inside it.
void PRTIN::reassemble(CVNUtils::Job& job) {
  unsigned int* out = reinterpret_cast<unsigned int*>(output.data);
  uint32_t matrix[32];
  for (long long block = job.start / 32; block * 32 < job.end; ++block) {
    const long long first = block * 32 > job.start ? block * 32 : job.start;
    const long long end = block * 32 + 32 < job.end ? block * 32 + 32 : job.end;
    for (int c = 0; c < words; ++c) {
      const unsigned int* plane = planes.data + static_cast<long long>(c) * 32 * blocks + block;
      for (int k = 0; k < 32; ++k) matrix[k] = plane[k * blocks];
      transpose32(matrix);
      for (long long i = first; i < end; ++i) out[i * words + c] = matrix[i - block * 32];
    }
  }
}
