// The headless host: no window, no audio device; samples can be recorded to a WAV file.
#pragma once
#include <cstdio>
#include <string>

// Starts recording every sample the machine makes into a 44,100 Hz 16-bit stereo WAV file at
// path, written through the one writer (core/host_file.h): the file appears, whole, when the
// recording is closed. False with error set ("PATH: reason").
bool headless_audio_open(const std::string& path, std::string& error);
// Moves whatever the FIFO holds into the recording (or discards it when not recording).
void headless_audio_drain();
// Hands the staging buffer over, drains, finishes the WAV header and puts the file in place.
// False with error set when any write of the recording failed: then no file is left.
bool headless_audio_close(std::string& error);
// Error texts shown so far (also printed on standard error).
extern int headless_error_count;
// A tape recording could not be saved: the run ends with status 1.
extern bool headless_tape_failed;
