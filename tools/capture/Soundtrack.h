#pragma once

// Length in seconds of the MP3 as the production's decoder plays it (encoder
// delay and padding removed); a negative value when the file cannot be decoded.
double SoundtrackSeconds(const char* path);

#include <vector>

// The loudest sample (0..1, either channel) in each stretch of `framesPerPeak`
// frames of the decoded MP3, as the production's decoder plays it; false when
// the file cannot be decoded.
bool SoundtrackPeaks(const char* path, double framesPerPeak, std::vector<float>* peaks);
