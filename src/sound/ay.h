// The AY-3-8910 sound generator on ports 0xF6 (data) and 0xF7 (register select).
#pragma once
#include <cstdint>

enum EnvelopeState : int8_t { DECAY = 0, ATTACK = 1, OFF = 2, HOLD = 3 };

// CPU T-states per tick: the chip runs at half the CPU clock and divides by 8.
constexpr uint32_t AY_TICK_TSTATES = 16;

struct AYState {
  uint8_t regs[16];          // R0..R15 as stored
  uint8_t noise_out;         // current noise bit
  uint8_t env_volume;        // envelope level 0..15
  uint8_t noise_count;       // noise step counter
  uint8_t noise_period;      // noise period taken from R6 at each noise step
  int8_t env_state;          // EnvelopeState
  uint8_t env_phase;         // toggles every tick; the envelope runs when it returns to 0
  uint8_t tone_out[3];       // tone flip-flops A, B, C
  uint16_t chan_level[3];    // output levels for the current sample
  uint16_t tone_count[3];
  uint16_t env_count;
  uint64_t noise_state[2];   // noise generator state
  // Both periods hold their values from the start, so that clocking that begins before the
  // sound set-up advances instead of spinning on a zero period.
  uint32_t ay_tick_tstates = AY_TICK_TSTATES;  // CPU T-states per tick
  uint32_t sample_tstates = 81;   // whole T-states per output sample (rate_control carries the fraction)
  int32_t sample_acc;        // T-state accumulator for samples
  uint32_t ay_acc;           // T-state accumulator for ticks
  uint8_t reg_select;        // last byte written to port 0xF7
};

extern AYState snd;                          // the one generator, registers and counters
extern const uint16_t AY_spec_volumes[16];   // the chip's sixteen amplitude levels
extern uint16_t AY_volumes[16];              // the same scaled by 125/128, filled by AY_init

// Fills AY_volumes and puts the generator in its initial state (R14 = R15 = 0xFF).
void AY_init();
void AY_reg_write(uint8_t value);
uint8_t AY_reg_read();
void Set_DECAY();
void Set_ATTACK();
void Set_OFF();
void Set_HOLD();
// One tick (16 T-states); subtracts 16 from ay_acc.
void update_AY_state();
// Runs the counters on by a number of ticks at once (ay_acc untouched).
void AY_advance(uint32_t ticks);
// The machine adds T-states to ay_acc after every instruction but runs the counters only when
// something depends on them (a sample, a register write, a saved state): this runs the ticks
// due, leaving at most one tick's T-states in ay_acc, exactly as ticking after every
// instruction would have left the generator.
void AY_catch_up();
// True when all three channels sit at level 0 whatever the counters do: the counters may then
// run on later, in one go.
bool AY_silent();
// T-states a silent generator may owe before it is run on all the same (ay_acc stays far from
// overflowing).
constexpr uint32_t AY_SILENT_DEBT_LIMIT = 1u << 26;
// True when a generator state (one read from a save state) is one the chip can be in:
// registers within their widths, counters, levels and flip-flops within their ranges, the
// tick at 16 T-states with at most one tick's worth accumulated. Anything else could hang the
// clocking (a tick below 16 is never caught up with) or freeze it for seconds (a huge count).
bool AY_state_valid(const AYState& a);
// Computes the three chan_level values for the current sample.
void get_AY_sample();
uint16_t mix_output(uint8_t mixer, uint8_t amplitude, uint8_t tone);
