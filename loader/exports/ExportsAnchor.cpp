// liborvloader.so is built from the cache library as a whole; this unit only gives the target a
// source of its own and checks that the public header matches the definitions linked in.
#include "orv/OrvLoader.h"
