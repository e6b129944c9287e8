// The few things the machine asks of its host. Two implementations exist: the desktop one
// (GTK window, SDL audio, joystick and clock, in ui/) and the headless one (tools/).
#pragma once
#include <cstdint>
#include <string>

// Start-up steps 7 to 9: the window (with the timing tables), the audio device, the joysticks.
void host_initialise();
// Shows the modal error box with this text (headless: standard error).
void host_show_error(const std::string& text);
// Asks for a repaint of the emulated screen (update_display).
void host_request_repaint();
// Pauses (true) or un-pauses (false) the host audio device; after a pause returns, the
// device's callback no longer runs.
void host_audio_device_pause(bool paused);
// The sample FIFO is full: the desktop sleeps 1 ms while the device drains it; the headless
// runner drains it itself.
void host_audio_wait();
// The host's millisecond clock.
uint32_t host_ticks_ms();
// Frame-start poll of the host joystick (get_joystick_state).
void get_joystick_state();
// Tells the user about a tape the recorder saved ("Tape saved: tapes/NAME.caq": desktop, the
// status bar for a few seconds; headless, standard error) or could not save (failed: desktop,
// an error box; headless, standard error and exit status 1 at the end of the run).
void host_tape_notice(const std::string& text, bool failed);
