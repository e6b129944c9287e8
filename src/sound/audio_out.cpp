// STUB
#include "sound/audio_out.h"
uint8_t snd_sound = 1, snd_stereo = 1, snd_aysound = 1, play_audio;
uint8_t sound_buffer[SOUND_BUFFER_BYTES];
int64_t WriteBufferPos;
int snd_sub_buffer_size;
sfifo sound_fifo;
int sound_setup() { return 0; }
void GetSample() { snd.sample_acc -= 81; }
void WriteDataToBuffer() {}
void pause_audio() {}
void resume_audio() {}
void sound_close() {}
