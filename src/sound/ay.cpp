// The AY-3-8910: sixteen registers, three tone generators, the noise generator, the envelope
// generator and the mixer. The machine clocks it in ticks of 16 CPU T-states (the chip runs at
// half the CPU clock and divides by 8 internally); the envelope runs on every second tick.
#include "sound/ay.h"

#include "input/joystick.h"
#include "sound/audio_out.h"

AYState snd;

// Output levels of the chip's sixteen amplitude steps; the chip's converter is logarithmic.
const uint16_t AY_spec_volumes[16] = {0,    54,   79,   111,  167,  255,  351,  559,
                                      671,  1071, 1471, 1839, 2327, 2879, 3455, 4095};
uint16_t AY_volumes[16];

namespace {

// Bits each register keeps on write: the tone period high parts and the envelope shape are
// 4 bits wide on the chip, the noise period and the amplitudes 5 bits. R14 and R15 are the
// I/O ports, which this machine wires as inputs only.
constexpr uint8_t register_mask[16] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                       0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0x00, 0x00};

// The noise generator is the chip's 17-bit shift register: the new bit is bit 0 XOR bit 3 and
// enters at bit 16 (x^17 + x^14 + 1, maximal length 2^17 - 1). Any non-zero seed works; 1 is
// the chip's own state after reset. noise_out starts at 0, and with this seed the first sixteen
// bits shifted out are 0 as well, so a program that enables noise hears it start from silence.
constexpr uint64_t NOISE_SEED = 1;

void envelope_step() {
  uint8_t& level = snd.env_volume;
  switch (snd.regs[13]) {
    case 0: case 1: case 2: case 3: case 9:   // fall, then silent
      if (snd.env_state == OFF) break;
      if (level > 0) --level;
      if (level == 0) Set_OFF();
      break;
    case 4: case 5: case 6: case 7: case 15:  // rise, then silent
      if (snd.env_state == OFF) break;
      if (level >= 15) Set_OFF();
      else ++level;
      break;
    case 8:                                   // saw down, repeated
      if (level == 0) Set_DECAY();
      else --level;
      break;
    case 10:                                  // triangle starting downwards
      if (snd.env_state == DECAY) {
        if (level == 0) Set_ATTACK();
        else --level;
      } else {
        if (level >= 15) Set_DECAY();
        else ++level;
      }
      break;
    case 11:                                  // fall, then hold high
      if (snd.env_state == HOLD) break;
      if (level == 0) Set_HOLD();
      else --level;
      break;
    case 12:                                  // saw up, repeated
      if (level >= 15) Set_ATTACK();
      else ++level;
      break;
    case 13:                                  // rise, then hold high
      if (snd.env_state == HOLD) break;
      if (level >= 15) Set_HOLD();
      else ++level;
      break;
    case 14:                                  // triangle starting upwards
      if (snd.env_state == ATTACK) {
        if (level >= 15) Set_DECAY();
        else ++level;
      } else {
        if (level == 0) Set_ATTACK();
        else --level;
      }
      break;
    default:
      break;
  }
}

}  // namespace

void Set_DECAY() { snd.env_state = DECAY; snd.env_volume = 15; }
void Set_ATTACK() { snd.env_state = ATTACK; snd.env_volume = 0; }
void Set_OFF() { snd.env_state = OFF; snd.env_volume = 0; }
void Set_HOLD() { snd.env_state = HOLD; snd.env_volume = 15; }

void AY_init() {
  for (int i = 0; i < 16; ++i) AY_volumes[i] = static_cast<uint16_t>(AY_spec_volumes[i] * 125u / 128u);
  snd = AYState{};
  snd.regs[14] = 0xFF;
  snd.regs[15] = 0xFF;
  snd.env_state = DECAY;
  snd.noise_state[0] = NOISE_SEED;
}

void AY_reg_write(uint8_t value) {
  // The counters run on the old registers up to this moment.
  AY_catch_up();
  const uint8_t reg = snd.reg_select & 0x0F;
  if (reg >= 14) return;
  snd.regs[reg] = value & register_mask[reg];
  if (reg == 13) {
    // Every write restarts the envelope, even with the same shape: shapes 4-7 and 12-15 start
    // from silence and rise, the others start from full level and fall.
    snd.env_count = 0;
    if (snd.regs[13] & 0x04) Set_ATTACK();
    else Set_DECAY();
  }
}

uint8_t AY_reg_read() {
  const uint8_t reg = snd.reg_select & 0x0F;
  // Port B carries hand controller 2, read as it is now (0xFF without one).
  if (reg == 15) return joystick_encode(1);
  if (reg == 14 && (joystick_enabled & 1)) get_joystick_input();
  return snd.regs[reg];
}

namespace {

// The chip's counters run up to their period and restart, so a period of P makes an event
// every P counts; a period of 0 acts as 1. This runs one on by `counts` and says how many
// periods ended. A count at or above the period (a lowered period, or a state saved by an
// earlier version, whose counts ran one further) ends the running period on the first count.
uint32_t run_counter(uint32_t& count, uint32_t period, uint32_t counts) {
  if (period == 0) period = 1;
  const uint32_t to_first_end = count < period ? period - count : 1;
  if (counts < to_first_end) {
    count += counts;
    return 0;
  }
  const uint32_t after_first = counts - to_first_end;
  count = after_first % period;
  return 1 + after_first / period;
}

// Every envelope shape is in its cycle (or at rest) after 32 steps, and both cycles (16 and 32
// steps) divide 32: a long run is cut to the steps that change the outcome.
constexpr uint32_t ENVELOPE_CYCLE = 32;
// The noise register steps through every non-zero 17-bit value; with the divide-by-two stage
// the whole generator repeats after twice that.
constexpr uint32_t NOISE_REGISTER_CYCLE = (1u << 17) - 1;

// A step every R12:R11 envelope ticks, a tick being every second generator tick: with the
// chip's clock at half the CPU's, the steps come at CPU clock / (32 x period).
void run_envelope(uint32_t envelope_ticks) {
  uint32_t count = snd.env_count;
  uint32_t steps = run_counter(count, static_cast<uint32_t>(snd.regs[12] << 8 | snd.regs[11]), envelope_ticks);
  snd.env_count = static_cast<uint16_t>(count);
  if (steps > 2 * ENVELOPE_CYCLE) steps = ENVELOPE_CYCLE + (steps - ENVELOPE_CYCLE) % ENVELOPE_CYCLE;
  for (uint32_t i = 0; i < steps; ++i) envelope_step();
}

// On the chip the noise counter runs at half the tone counters' rate, through a divide-by-two
// stage; noise_state[1] is that stage, so the register shifts on every second noise step and
// the noise sits an octave below what the bare period would give, as on the real chip.
// The period in force is the one taken at the last step; each step takes R6 afresh, which no
// write changes within a run (a write runs the generator up to itself first).
void run_noise(uint32_t ticks) {
  uint32_t count = snd.noise_count;
  const uint32_t to_first_step = count < snd.noise_period ? snd.noise_period - count : 1;
  if (ticks < to_first_step) {
    snd.noise_count = static_cast<uint8_t>(count + ticks);
    return;
  }
  const uint32_t period = snd.regs[6] ? snd.regs[6] : 1;
  const uint32_t after_first = ticks - to_first_step;
  const uint32_t steps = 1 + after_first / period;
  snd.noise_count = static_cast<uint8_t>(after_first % period);
  snd.noise_period = static_cast<uint8_t>(period);
  // The register shifts on the steps that bring the divide-by-two stage to 1.
  uint64_t& prescaler = snd.noise_state[1];
  uint32_t shifts = prescaler ? steps / 2 : (steps + 1) / 2;
  prescaler ^= steps & 1;
  shifts %= NOISE_REGISTER_CYCLE;
  uint64_t lfsr = snd.noise_state[0];
  for (uint32_t i = 0; i < shifts; ++i) lfsr = (lfsr >> 1) | (((lfsr ^ (lfsr >> 3)) & 1) << 16);
  snd.noise_state[0] = lfsr;
  snd.noise_out = static_cast<uint8_t>(lfsr & 1);
}

}  // namespace

void AY_advance(uint32_t ticks) {
  if (!snd_aysound || ticks == 0) return;
  // The envelope runs on every second tick: once for each time the phase comes back to 0.
  const uint32_t envelope_ticks = (snd.env_phase + ticks) / 2;
  snd.env_phase = static_cast<uint8_t>((snd.env_phase + ticks) & 1);
  run_envelope(envelope_ticks);
  // A flip every `period` ticks: a square wave at the chip's clock / (16 x period), which is
  // CPU clock / (32 x period).
  for (int ch = 0; ch < 3; ++ch) {
    uint32_t count = snd.tone_count[ch];
    const uint32_t flips =
        run_counter(count, static_cast<uint32_t>((snd.regs[2 * ch + 1] & 0x0F) << 8 | snd.regs[2 * ch]), ticks);
    snd.tone_count[ch] = static_cast<uint16_t>(count);
    snd.tone_out[ch] ^= static_cast<uint8_t>(flips & 1);
  }
  // A noise step every R6 ticks and a shift every second step: the register shifts every
  // 2 R6 ticks, and R6 = 0 sounds as R6 = 1, as on the chip. The period is taken at each step,
  // so a new R6 is heard once the running period is over.
  run_noise(ticks);
}

bool AY_silent() { return ((snd.regs[8] | snd.regs[9] | snd.regs[10]) & 0x1F) == 0; }

void AY_catch_up() {
  if (snd.ay_acc <= AY_TICK_TSTATES) return;
  const uint32_t ticks = (snd.ay_acc - 1) / AY_TICK_TSTATES;
  snd.ay_acc -= ticks * AY_TICK_TSTATES;
  AY_advance(ticks);
}

void update_AY_state() {
  snd.ay_acc -= AY_TICK_TSTATES;
  AY_advance(1);
}

uint16_t mix_output(uint8_t mixer, uint8_t amplitude, uint8_t tone) {
  // A set mixer bit switches that source off, which leaves the channel's gate open: with both
  // sources off the channel sits at its amplitude, the way programs play samples on this chip.
  const unsigned noise_gate = ((mixer >> 3) & 1) | snd.noise_out;
  const unsigned tone_gate = (mixer & 1) | tone;
  if (!(noise_gate & tone_gate)) return 0;
  const uint8_t index = (amplitude & 0x10) ? snd.env_volume : (amplitude & 0x0F);
  return static_cast<uint16_t>(2 * AY_volumes[index & 0x0F]);
}

void get_AY_sample() {
  const uint8_t mixer = snd.regs[7];
  for (int ch = 0; ch < 3; ++ch) {
    snd.chan_level[ch] = mix_output(static_cast<uint8_t>(mixer >> ch), snd.regs[8 + ch], snd.tone_out[ch]);
  }
}

bool AY_state_valid(const AYState& a) {
  for (int reg = 0; reg < 14; ++reg)
    if (a.regs[reg] & ~register_mask[reg]) return false;
  // R14 holds whatever the hand controller gave; R15 is never written.
  if (a.regs[15] != 0xFF) return false;
  // A tone count runs below its 12-bit period (to 0x0FFE); 0x0FFF comes from states saved when
  // counts ran up to the period, and ends its period on the next tick. Any envelope count does
  // the same on its next envelope tick.
  for (int ch = 0; ch < 3; ++ch) {
    bool level_ok = false;
    for (const uint16_t volume : AY_volumes) level_ok |= a.chan_level[ch] == 2 * volume;
    if (!level_ok || a.tone_out[ch] > 1 || a.tone_count[ch] > 0x0FFF) return false;
  }
  // The noise period is reloaded from R6 (5 bits) at each step, and the count runs below it
  // (both 0 before the first step).
  const bool noise_ok = a.noise_out <= 1 && a.noise_period <= 0x1F &&
                        a.noise_count < (a.noise_period ? a.noise_period : 1) &&
                        a.noise_state[0] != 0 && a.noise_state[0] < (1u << 17) && a.noise_state[1] <= 1;
  return noise_ok && a.env_volume <= 15 && a.env_state >= DECAY && a.env_state <= HOLD && a.env_phase <= 1 &&
         a.ay_tick_tstates == AY_TICK_TSTATES && a.ay_acc <= AY_TICK_TSTATES;
}
