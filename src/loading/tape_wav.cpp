// Tapes as sound: the tape writer's signal as a WAV file, and WAV recordings decoded to bytes.
#include "loading/tape_wav.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/frame.h"
#include "core/host_file.h"
#include "loading/loader.h"

namespace {

// ---------------------------------------------------------------- writing

// Three quarters of full scale: loud enough for a cassette input, with room for a player's filters.
constexpr int16_t TAPE_LEVEL = 24576;
constexpr uint32_t WAV_HEADER_BYTES = 44;
constexpr uint64_t LARGEST_WAV_DATA = 0xFFFFFFFFu - (WAV_HEADER_BYTES - 8);

void put_le(uint8_t* p, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The bits of a byte in the order sent: start, data from the most significant, two stops.
constexpr int BITS_PER_BYTE = 11;
int sent_bit(uint8_t byte, int index) {
  if (index == 0) return 0;
  if (index > 8) return 1;
  return (byte >> (8 - index)) & 1;
}

uint32_t half_cycle(int bit) { return bit ? TAPE_HALF_ONE : TAPE_HALF_ZERO; }

// Samples to the file through the one writer, in blocks.
struct sample_sink {
  sample_sink(saved_file& to, std::string& why) : file(to), error(why) {}
  saved_file& file;
  std::string& error;
  uint8_t block[32768];
  size_t used = 0;
  bool ok = true;

  void put(int16_t value) {
    if (used == sizeof block) flush();
    put_le(block + used, static_cast<uint16_t>(value), 2);
    used += 2;
  }
  bool flush() {
    if (ok && used) ok = write_saved_file(file, block, used, error);
    used = 0;
    return ok;
  }
};

// ---------------------------------------------------------------- reading

constexpr unsigned MAX_CHUNKS = 4096;   // a file of nothing but empty chunks is no recording
constexpr unsigned MAX_CHANNELS = 8;
constexpr double ZERO_TO_ONE = static_cast<double>(TAPE_HALF_ZERO) / TAPE_HALF_ONE;

// Before a leader has been found, half-cycles are judged against the nominal 1 half-cycle: a
// 1 within SHORT_LOW..SPLIT of it, a 0 within SPLIT..LONG_HIGH, so that a tape up to a quarter
// fast or slow is still recognised.
constexpr double SHORT_LOW = 0.65, SPLIT = 1.45, LONG_HIGH = 2.9;
// A leader: this many 1 half-cycles and 0 half-cycles (two leader bytes' worth) in a row,
// all of one speed.
constexpr unsigned LEADER_SHORT = 80, LEADER_LONG = 8;
constexpr unsigned CANDIDATE_LIMIT = 2048;
// Once locked, a half-cycle this far from the 1 half-cycle ends the stretch of tape.
constexpr double LOCKED_LOW = 0.5, LOCKED_HIGH = 3.0;
// The 1 half-cycle follows the tape's speed slowly (stretch, a drifting motor).
constexpr double SPEED_FOLLOW = 1.0 / 32;
// The comparator switches at this part of the signal's recent peak, and never below the floor
// (full scale is 1): noise well below the signal makes no edges.
constexpr double HYSTERESIS = 0.3, HYSTERESIS_FLOOR = 0.002;
constexpr double PEAK_SECONDS = 0.02;
// The DC offset is taken out by a high-pass filter far below the tape's tones.
constexpr double DC_CUTOFF_HZ = 10.0;

// One signal (a channel, or the channels' mix) from samples to tape bytes.
//
// A comparator with hysteresis gives the edges, and from them the half-cycles. The bit is told
// from the half-cycle's length: a run of half-cycles of one kind is as many bits of that kind
// as its length holds (four half-cycles a bit), so that a half-cycle lost or split at the
// start of a run, or an uneven duty cycle, does not shift the count. The length of a 1 comes
// from the leader; nothing is decoded before a leader is found, and every stretch of tape
// starts with its first whole leader byte.
class tape_decoder {
 public:
  explicit tape_decoder(double rate)
      : nominal_half_(TAPE_HALF_ONE * rate / Z80_CLOCK_HZ),
        blocker_(std::exp(-2 * M_PI * DC_CUTOFF_HZ / rate)),
        peak_decay_(std::exp(-1 / (PEAK_SECONDS * rate))) {}

  std::vector<uint8_t> bytes;
  bool full = false;  // the tape passed MAX_LOAD_FILE_BYTES

  void sample(double x) {
    if (!std::isfinite(x)) x = 0;
    if (first_) {
      previous_input_ = x;
      first_ = false;
    }
    filtered_ = x - previous_input_ + blocker_ * filtered_;
    previous_input_ = x;
    const double y = filtered_;
    peak_ = std::max(std::fabs(y), peak_ * peak_decay_);
    const double threshold = std::max(HYSTERESIS_FLOOR, HYSTERESIS * peak_);
    const double now = static_cast<double>(count_);
    if (level_ <= 0 && y > threshold)
      edge(1, now - 1 + crossing(threshold, y));
    else if (level_ >= 0 && y < -threshold)
      edge(-1, now - 1 + crossing(-threshold, y));
    else if (level_ != 0 && now - last_edge_ > gap_limit())
      end_of_signal();
    previous_y_ = y;
    ++count_;
  }

  void end() { end_of_signal(); }

 private:
  enum class Frame { hunting, data, stop };

  const double nominal_half_;  // samples in a 1 half-cycle at the machine's speed
  const double blocker_, peak_decay_;
  bool first_ = true;
  double previous_input_ = 0, filtered_ = 0, previous_y_ = 0, peak_ = 0;
  uint64_t count_ = 0;
  int level_ = 0;  // the comparator: 1 high, -1 low, 0 not known (silence)
  double last_edge_ = 0;

  // Looking for a leader.
  std::vector<double> candidate_;
  double short_sum_ = 0;
  unsigned short_count_ = 0, long_count_ = 0;
  // Locked on a tape.
  bool locked_ = false;
  double short_half_ = 0;  // samples in a 1 half-cycle of this tape
  bool run_zero_ = false;
  double run_length_ = 0;  // samples in the run of half-cycles of one kind
  unsigned run_halves_ = 0;
  Frame frame_ = Frame::hunting;
  unsigned frame_bits_ = 0;
  unsigned value_ = 0;
  bool stretch_started_ = false;  // a leader byte has been emitted in this stretch

  // Where between the last sample and this one the signal crossed the threshold.
  double crossing(double threshold, double y) const {
    if (y == previous_y_) return 1;
    return std::clamp((threshold - previous_y_) / (y - previous_y_), 0.0, 1.0);
  }

  double gap_limit() const { return 4 * ZERO_TO_ONE * (locked_ ? short_half_ : nominal_half_ / SHORT_LOW); }

  void edge(int level, double at) {
    if (level_ != 0) half(at - last_edge_);
    level_ = level;
    last_edge_ = at;
  }

  void end_of_signal() {
    level_ = 0;
    end_stretch();
  }

  void half(double length) {
    if (!locked_) {
      search(length);
      return;
    }
    const double ratio = length / short_half_;
    if (ratio < LOCKED_LOW || ratio > LOCKED_HIGH) {
      end_stretch();
      search(length);
      return;
    }
    const bool zero = ratio >= SPLIT;
    if (!zero) short_half_ += (length - short_half_) * SPEED_FOLLOW;
    if (run_halves_ && zero != run_zero_) flush_run();
    run_zero_ = zero;
    run_length_ += length;
    ++run_halves_;
  }

  void forget_candidate() {
    candidate_.clear();
    short_sum_ = 0;
    short_count_ = long_count_ = 0;
  }

  void search(double length) {
    const double ratio = length / nominal_half_;
    const bool is_short = ratio >= SHORT_LOW && ratio < SPLIT;
    const bool is_long = ratio >= SPLIT && ratio < LONG_HIGH;
    if (!is_short && !is_long) {
      forget_candidate();
      return;
    }
    // After a few 1 half-cycles, every half-cycle must be of their speed.
    if (short_count_ >= 4) {
      const double relative = length * short_count_ / short_sum_;
      const bool fits = is_short ? relative > 0.75 && relative < 1.3 : relative > 1.6 && relative < 2.4;
      if (!fits) forget_candidate();
    }
    candidate_.push_back(length);
    if (is_short) {
      short_sum_ += length;
      ++short_count_;
    } else {
      ++long_count_;
    }
    if (short_count_ >= LEADER_SHORT && long_count_ >= LEADER_LONG)
      lock();
    else if (candidate_.size() >= CANDIDATE_LIMIT)
      forget_candidate();
  }

  // The leader is found: the half-cycles seen so far are decoded from its start.
  void lock() {
    locked_ = true;
    short_half_ = short_sum_ / short_count_;
    std::vector<double> seen;
    seen.swap(candidate_);
    forget_candidate();
    for (double length : seen) half(length);
  }

  void end_stretch() {
    if (locked_ && run_halves_) flush_run();
    locked_ = false;
    run_halves_ = 0;
    run_length_ = 0;
    frame_ = Frame::hunting;
    stretch_started_ = false;
    forget_candidate();
  }

  void flush_run() {
    const double bit_length = 4 * short_half_ * (run_zero_ ? ZERO_TO_ONE : 1.0);
    for (long bits = std::lround(run_length_ / bit_length); bits > 0; --bits) bit(run_zero_ ? 0 : 1);
    run_length_ = 0;
    run_halves_ = 0;
  }

  void bit(unsigned b) {
    switch (frame_) {
      case Frame::hunting:
        if (b == 0) {
          frame_ = Frame::data;
          frame_bits_ = 0;
          value_ = 0;
        }
        break;
      case Frame::data:
        value_ = value_ << 1 | b;
        if (++frame_bits_ == 8) {
          frame_ = Frame::stop;
          frame_bits_ = 0;
        }
        break;
      case Frame::stop:
        // A 0 where a stop bit belongs: the byte is lost, and the next start bit is looked for.
        if (b == 0)
          frame_ = Frame::hunting;
        else if (++frame_bits_ == 2) {
          emit(static_cast<uint8_t>(value_));
          frame_ = Frame::hunting;
        }
        break;
    }
  }

  void emit(uint8_t value) {
    if (!stretch_started_ && value != 0xFF) return;
    stretch_started_ = true;
    if (bytes.size() >= MAX_LOAD_FILE_BYTES) {
      full = true;
      return;
    }
    bytes.push_back(value);
  }
};

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

bool read_exactly(int fd, uint64_t offset, uint8_t* out, size_t length) {
  while (length) {
    const ssize_t got = pread(fd, out, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) errno = 0;  // the end of the file, no error
    if (got <= 0) return false;
    out += got;
    offset += static_cast<uint64_t>(got);
    length -= static_cast<size_t>(got);
  }
  return true;
}

struct wav_layout {
  uint16_t format = 0;  // 1 PCM, 3 float
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint16_t frame_bytes = 0;
  uint16_t bits = 0;
  uint64_t data_at = 0, data_bytes = 0;
};

constexpr uint16_t FORMAT_PCM = 1, FORMAT_FLOAT = 3, FORMAT_EXTENSIBLE = 0xFFFE;

// The format and the sound data, wherever their chunks stand. A data chunk that claims more
// than the file holds is taken as far as the file goes (a recording cut short).
bool find_chunks(int fd, uint64_t file_size, wav_layout& wav, std::string& error) {
  uint8_t riff[12];
  if (!read_exactly(fd, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) || std::memcmp(riff + 8, "WAVE", 4)) {
    error = "not a WAV file";
    return false;
  }
  bool have_format = false, have_data = false;
  uint64_t at = sizeof riff;
  for (unsigned chunk = 0; chunk < MAX_CHUNKS && at + 8 <= file_size && !(have_format && have_data); ++chunk) {
    uint8_t head[8];
    if (!read_exactly(fd, at, head, sizeof head)) break;
    const uint64_t size = le32(head + 4);
    const uint64_t body = at + 8;
    if (!std::memcmp(head, "fmt ", 4) && !have_format) {
      uint8_t f[40] = {};
      const size_t length = static_cast<size_t>(std::min<uint64_t>(size, sizeof f));
      if (length < 16 || body + length > file_size || !read_exactly(fd, body, f, length)) {
        error = "the WAV file's format is cut short";
        return false;
      }
      wav.format = le16(f);
      wav.channels = le16(f + 2);
      wav.rate = le32(f + 4);
      wav.frame_bytes = le16(f + 12);
      wav.bits = le16(f + 14);
      // The extensible format names the real one in the first two bytes of its sub-format.
      if (wav.format == FORMAT_EXTENSIBLE) wav.format = length >= 26 ? le16(f + 24) : 0;
      have_format = true;
    } else if (!std::memcmp(head, "data", 4) && !have_data) {
      wav.data_at = body;
      wav.data_bytes = std::min(size, file_size - body);
      have_data = true;
    }
    at = body + size + (size & 1);  // chunks are padded to an even length
  }
  if (!have_format) {
    error = "the WAV file has no format chunk";
    return false;
  }
  if (!have_data) {
    error = "the WAV file has no sound data";
    return false;
  }
  const bool pcm = wav.format == FORMAT_PCM && (wav.bits == 8 || wav.bits == 16 || wav.bits == 24 || wav.bits == 32);
  if (!pcm && !(wav.format == FORMAT_FLOAT && wav.bits == 32)) {
    error = "WAV format not read (PCM of 8, 16, 24 or 32 bits, or 32-bit float, are)";
    return false;
  }
  if (wav.channels < 1 || wav.channels > MAX_CHANNELS) {
    error = "WAV file of " + std::to_string(wav.channels) + " channels (1 to 8 are read)";
    return false;
  }
  if (wav.rate < TAPE_WAV_LOWEST_RATE || wav.rate > TAPE_WAV_HIGHEST_RATE) {
    error = "sample rate of " + std::to_string(wav.rate) + " Hz (8,000 to 192,000 Hz are read)";
    return false;
  }
  // Some writers leave the block size out; any other than the samples' own is a broken header.
  const uint16_t needed = static_cast<uint16_t>(wav.channels * (wav.bits / 8));
  if (wav.frame_bytes == 0) wav.frame_bytes = needed;
  if (wav.frame_bytes != needed) {
    error = "the WAV file's block size does not fit its format";
    return false;
  }
  return true;
}

double sample_value(const uint8_t* p, const wav_layout& wav) {
  switch (wav.bits) {
    case 8: return (p[0] - 128) / 128.0;
    case 16: return static_cast<int16_t>(le16(p)) / 32768.0;
    case 24: return static_cast<int32_t>(static_cast<uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) / 2147483648.0;
    default:
      if (wav.format == FORMAT_FLOAT) {
        float value;
        const uint32_t raw = le32(p);
        std::memcpy(&value, &raw, sizeof value);
        return value;
      }
      return static_cast<int32_t>(le32(p)) / 2147483648.0;
  }
}

}  // namespace

bool write_tape_wav(const std::string& path, const uint8_t* bytes, uint32_t length, std::string& error) {
  uint64_t tstates = 0;
  for (uint32_t i = 0; i < length; ++i)
    for (int index = 0; index < BITS_PER_BYTE; ++index) tstates += 4 * half_cycle(sent_bit(bytes[i], index));
  // Sample k stands at k / TAPE_WAV_RATE seconds: times are counted in 1/TAPE_WAV_RATE of a
  // T-state, so that they add up exactly.
  const uint64_t signal_samples = (tstates * TAPE_WAV_RATE + Z80_CLOCK_HZ - 1) / Z80_CLOCK_HZ;
  const uint64_t data_bytes = 2 * (signal_samples + 2 * TAPE_WAV_SILENCE);
  if (data_bytes > LARGEST_WAV_DATA) {
    error = path + ": the tape is too long for a WAV file";
    return false;
  }
  saved_file file;
  if (!start_saved_file(file, path, error)) return false;
  uint8_t header[WAV_HEADER_BYTES] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                      16, 0, 0, 0, 1, 0, 1, 0};
  put_le(header + 4, static_cast<uint32_t>(data_bytes + WAV_HEADER_BYTES - 8), 4);
  put_le(header + 24, TAPE_WAV_RATE, 4);
  put_le(header + 28, TAPE_WAV_RATE * 2, 4);
  put_le(header + 32, 2, 2);
  put_le(header + 34, 16, 2);
  std::memcpy(header + 36, "data", 4);
  put_le(header + 40, static_cast<uint32_t>(data_bytes), 4);

  sample_sink sink(file, error);
  sink.ok = write_saved_file(file, header, sizeof header, error);
  for (uint32_t k = 0; k < TAPE_WAV_SILENCE; ++k) sink.put(0);
  // Each bit starts with the line high, as the writer's first OUT leaves it.
  uint64_t end = 0, k = 0;
  int16_t level = TAPE_LEVEL;
  for (uint32_t i = 0; i < length && sink.ok; ++i) {
    for (int index = 0; index < BITS_PER_BYTE; ++index) {
      const uint64_t half = static_cast<uint64_t>(half_cycle(sent_bit(bytes[i], index))) * TAPE_WAV_RATE;
      for (int h = 0; h < 4; ++h) {
        end += half;
        for (; k * Z80_CLOCK_HZ < end; ++k) sink.put(level);
        level = static_cast<int16_t>(-level);
      }
    }
  }
  for (uint32_t s = 0; s < TAPE_WAV_SILENCE; ++s) sink.put(0);
  if (sink.flush() && finish_saved_file(file, error)) return true;
  abandon_saved_file(file);
  return false;
}

bool read_tape_wav(const std::string& path, std::vector<uint8_t>& tape, std::string& error) {
  struct stat st;
  host_file_status status;
  const int fd = open_regular_file(path, st, status);
  if (fd < 0) {
    error = "cannot be read (" + status.why + ")";
    return false;
  }
  wav_layout wav;
  const uint64_t file_size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  if (!find_chunks(fd, file_size, wav, error)) {
    close(fd);
    return false;
  }
  // Each channel alone and, with more than one, their mix: a tape on one side of a stereo
  // recording, on both, or on both in opposite phase is read all the same.
  std::vector<tape_decoder> decoders(wav.channels + (wav.channels > 1 ? 1u : 0u), tape_decoder(wav.rate));
  const uint32_t sample_bytes = wav.bits / 8u;
  std::vector<uint8_t> block(static_cast<size_t>(wav.frame_bytes) * 4096);
  int read_failure = 0;
  for (uint64_t done = 0; done + wav.frame_bytes <= wav.data_bytes;) {
    const uint64_t frames = std::min<uint64_t>(4096, (wav.data_bytes - done) / wav.frame_bytes);
    if (!read_exactly(fd, wav.data_at + done, block.data(), frames * wav.frame_bytes)) {
      read_failure = errno ? errno : EIO;  // no errno: the file grew shorter meanwhile
      break;
    }
    for (uint64_t f = 0; f < frames; ++f) {
      const uint8_t* frame = block.data() + f * wav.frame_bytes;
      double mix = 0;
      for (uint16_t c = 0; c < wav.channels; ++c) {
        const double value = sample_value(frame + c * sample_bytes, wav);
        decoders[c].sample(value);
        mix += value;
      }
      if (wav.channels > 1) decoders.back().sample(mix / wav.channels);
    }
    done += frames * wav.frame_bytes;
    if (std::any_of(decoders.begin(), decoders.end(), [](const tape_decoder& d) { return d.full; })) break;
  }
  close(fd);
  if (read_failure) {
    error = std::string("cannot be read (") + std::strerror(read_failure) + ")";
    return false;
  }
  for (tape_decoder& decoder : decoders) decoder.end();
  // The mix is tried first: with the same tape on every channel it has the least noise.
  tape_decoder* best = &decoders.back();
  for (tape_decoder& decoder : decoders)
    if (decoder.bytes.size() > best->bytes.size()) best = &decoder;
  if (best->full) {
    error = "the tape in it is larger than 16 MiB";
    return false;
  }
  if (best->bytes.empty()) {
    error = "no tape signal found";
    return false;
  }
  tape.swap(best->bytes);
  return true;
}

bool export_tape_wav(const std::string& tape_path, const std::string& wav_path, std::string& error) {
  std::vector<uint8_t> tape;
  if (is_tape_recording(tape_path)) {
    if (!read_tape_wav(tape_path, tape, error)) {
      error = tape_path + ": " + error;
      return false;
    }
  } else {
    uint64_t size = 0;
    host_file_status status;
    if (!read_host_file(tape_path, MAX_LOAD_FILE_BYTES, tape, size, status)) {
      error = tape_path + ": " + status.why;
      return false;
    }
    if (size > MAX_LOAD_FILE_BYTES || tape.empty()) {
      error = tape_path + (tape.empty() ? ": empty cassette image" : ": file too large");
      return false;
    }
  }
  return write_tape_wav(wav_path, tape.data(), static_cast<uint32_t>(tape.size()), error);
}
