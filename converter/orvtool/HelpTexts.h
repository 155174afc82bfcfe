// The help texts of orv and its commands.
#pragma once

extern const char kToolHelp[];
extern const char kConvertHelp[];
extern const char kInfoHelp[];
