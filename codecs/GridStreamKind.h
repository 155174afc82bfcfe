// How a grid-codec stream stores its values, for people inspecting a cache: the zone methods it
// uses, read from the stream's container without decoding anything.
#pragma once

#include <string>

// "raw", "constant" or "quantised" for a single-zone stream; "zoned: " followed by the count of
// each method for a zoned stream ("zoned: 3 quantised, 1 constant"); "damaged" when the container
// or a zone header does not fit the bytes.
std::string DescribeGridStream(const unsigned char* bytes, unsigned long long size);
