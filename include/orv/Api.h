// Symbol visibility of the public interface. Everything else in the library and the plug-ins is
// hidden, so a host sees exactly the exported functions and the interface classes.
#pragma once

#if defined(__ELF__)
#define ORV_API __attribute__((visibility("default")))
#else
// Other binary formats (the Windows DLLs) name their exports in a module-definition file.
#define ORV_API
#endif
