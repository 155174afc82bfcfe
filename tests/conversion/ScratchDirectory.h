// A fresh directory per test under the system's temporary folder, removed afterwards.
#pragma once

#include "tools/testing/ScratchFolder.h"

class ScratchDirectory : public ScratchFolder {
 public:
  ScratchDirectory();
};
