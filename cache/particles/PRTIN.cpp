#include "cache/particles/PRTIN.h"

#include <cstdint>
#include <new>

#include "cache/particles/ParticleChannelTable.h"

PRTIN::PRTIN(CVNUtils::CvnArray<char, long long>& output,
             const CVNUtils::CvnArray<unsigned int, long long>& planes, int channel, int component)
    : CvnParallel(nullptr), output(output), planes(planes), channel(channel), component(component) {
  words = ParticleChannelWords(channel);
  particles = words > 0 ? output.size() / (4LL * words) : 0;
  blocks = (particles + 31) / 32;
}

bool PRTIN::run() {
  // The planes must cover every bit of every component (or the one) of every block.
  if (component >= words) return false;
  const long long components = component >= 0 ? 1 : words;
  if (planes.size() < components * 32 * blocks) return false;
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

// Blocks of 32 particles transposed side by side, one per lane of the matrix rows, so that the
// compiler can do the lanes' equal steps with vector instructions.
constexpr int kLanes = 8;

// Transposes L 32 x 32 bit matrices in place, matrix v in lane v: afterwards bit k of a[l][v] is
// what bit l of a[k][v] was. Five rounds swap ever smaller off-diagonal blocks (16 x 16 down to
// 1 x 1).
template <int L>
void transpose32(uint32_t (&a)[32][L]) {
  static const uint32_t kMasks[5] = {0x0000FFFFu, 0x00FF00FFu, 0x0F0F0F0Fu, 0x33333333u,
                                     0x55555555u};
  for (int round = 0, j = 16; j != 0; ++round, j >>= 1) {
    const uint32_t mask = kMasks[round];
    for (int k = 0; k < 32; k = (k + j + 1) & ~j) {
      for (int v = 0; v < L; ++v) {
        const uint32_t t = ((a[k][v] >> j) ^ a[k + j][v]) & mask;
        a[k][v] ^= t << j;
        a[k + j][v] ^= t;
      }
    }
  }
}

}  // namespace

const unsigned int* PRTIN::planesOf(int c) const {
  return planes.data + (component >= 0 ? 0 : static_cast<long long>(c) * 32 * blocks);
}

// A block of 32 particles holds, per component, a 32 x 32 bit matrix whose rows are the plane
// words (row k: bit k of every lane) and whose columns are the particles: transposed, row l is
// the whole word of lane l. Runs of kLanes whole blocks inside the job's range are transposed
// together; the blocks at its ends give only the particles inside it.
void PRTIN::reassemble(CVNUtils::Job& job) {
  unsigned int* out = reinterpret_cast<unsigned int*>(output.data);
  const int firstComponent = component >= 0 ? component : 0;
  const int endComponent = component >= 0 ? component + 1 : words;
  long long block = job.start / 32;
  while (block * 32 < job.end) {
    const bool whole = block * 32 >= job.start && (block + kLanes) * 32 <= job.end;
    if (whole) {
      uint32_t matrices[32][kLanes];
      for (int c = firstComponent; c < endComponent; ++c) {
        const unsigned int* plane = planesOf(c) + block;
        for (int k = 0; k < 32; ++k) {
          for (int v = 0; v < kLanes; ++v) matrices[k][v] = plane[k * blocks + v];
        }
        transpose32(matrices);
        unsigned int* to = out + block * 32 * words + c;
        for (int v = 0; v < kLanes; ++v) {
          for (int l = 0; l < 32; ++l) to[(v * 32 + l) * words] = matrices[l][v];
        }
      }
      block += kLanes;
      continue;
    }
    const long long first = block * 32 > job.start ? block * 32 : job.start;
    const long long end = block * 32 + 32 < job.end ? block * 32 + 32 : job.end;
    uint32_t matrix[32][1];
    for (int c = firstComponent; c < endComponent; ++c) {
      const unsigned int* plane = planesOf(c) + block;
      for (int k = 0; k < 32; ++k) matrix[k][0] = plane[k * blocks];
      transpose32(matrix);
      for (long long i = first; i < end; ++i) out[i * words + c] = matrix[i - block * 32][0];
    }
    ++block;
  }
}
