#include "fuzz/targets/FuzzTargets.h"

const FuzzTarget kFuzzTargets[] = {
    {"orv_file", FuzzOrvFile},
    {"field3d_file", FuzzField3dFile},
    {"grid_codec1", FuzzGridCodec1},
    {"grid_codec3", FuzzGridCodec3},
    {"entropy_decoder", FuzzEntropyDecoder},
    {"particle_channel", FuzzParticleChannel},
    {"channel_mappings", FuzzChannelMappings},
    {"frame_pattern", FuzzFramePattern},
    {"text_conversion", FuzzTextConversion},
};
const size_t kFuzzTargetCount = sizeof kFuzzTargets / sizeof kFuzzTargets[0];
