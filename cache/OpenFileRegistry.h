// Process-wide registry of the cache files being read, so two readers of one path in this process
// take turns: the second waits for the first to close the file.
#pragma once

#include <cstddef>
#include <cstddef>
#include <cstdint>

namespace OpenFileRegistry {

// Public lookup3 hash (hashlittle) of length bytes with an initial value.
uint32_t HashLittle(const void* key, size_t length, uint32_t initval);

// Registers path, waiting up to 30 rounds of 200 ms while it is registered by another reader.
bool WaitAndRegister(const char* path);
void Unregister(const char* path);

}  // namespace OpenFileRegistry
