// Symbol visibility of the public interface. Everything else in the library and the plug-ins is
// hidden, so a host sees exactly the exported functions and the interface classes.
#pragma once

#define ORV_API __attribute__((visibility("default")))
