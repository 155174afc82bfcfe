// Loader initialisation and finalisation: plug-in loading and the installed thread manager.
#pragma once

// The integer last passed to initalizeOrvaLoader (0 before any); recorded, never acted upon.
int RecordedInitialisationValue();
