// The headless host: no window, no audio device; samples can be recorded to a WAV file.
#pragma once
#include <cstdio>
#include <string>

// Starts recording every sample the machine makes into a 44,100 Hz 16-bit stereo WAV file.
bool headless_audio_open(const std::string& path);
// Moves whatever the FIFO holds into the recording (or discards it when not recording).
void headless_audio_drain();
// Hands the staging buffer over, drains, and finishes the WAV header. False when any write of
// the recording failed (the file is then incomplete).
bool headless_audio_close();
// Error texts shown so far (also printed on standard error).
extern int headless_error_count;
// A tape recording could not be saved: the run ends with status 1.
extern bool headless_tape_failed;
