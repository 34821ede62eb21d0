#pragma once

// Length in seconds of the MP3 as the production's decoder plays it (encoder
// delay and padding removed); a negative value when the file cannot be decoded.
double SoundtrackSeconds(const char* path);
