// Frame lists as users write them: "1-100", "1-100:2", "5,7,9-12", in any combination.
#pragma once

#include <string>
#include <vector>

// Comma-separated items, each a frame number N, a range A-B (inclusive, A <= B) or a range with a
// step A-B:S (S >= 1); numbers may be negative ("-5--1"). Frames come out in the order written,
// each once (a repeat is dropped). False with a reason for an empty item, a malformed number, a
// descending range, a step below 1, or a list of more than 10 million frames.
bool ParseFrameList(const std::string& text, std::vector<int>& frames, std::string* reason);
