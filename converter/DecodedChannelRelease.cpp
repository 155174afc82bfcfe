#include "converter/DecodedChannelRelease.h"

#include "cache/CorvaneFrameData.h"

void DecodedChannelRelease::channelBuilt(IOrv& frame, int channelId) {
  CorvaneFrameData* data = dynamic_cast<CorvaneFrameData*>(&frame);
  if (!data || data->referenceCount != 1) return;
  if (channelId < 0 || channelId >= CorvaneFrameData::kChannelCount) return;
  ChannelLockGuard guard(data->channelLock);
  ChannelSlot& slot = data->slots[channelId];
  if (slot.buffer && slot.buffer->referenceCount.load() == 1) slot.release();
}
