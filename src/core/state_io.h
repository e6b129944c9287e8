// The byte layout of save states: little-endian fields written one by one, never as raw
// structs, so that a file does not depend on the compiler's padding; a reader that stops at
// the first byte missing or out of range and says so through ok().
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class StateWriter {
 public:
  std::vector<uint8_t> bytes;
  void u8(uint8_t v) { bytes.push_back(v); }
  void u16(uint16_t v) { for (int i = 0; i < 2; ++i) u8(static_cast<uint8_t>(v >> (8 * i))); }
  void u32(uint32_t v) { for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i))); }
  void u64(uint64_t v) { for (int i = 0; i < 8; ++i) u8(static_cast<uint8_t>(v >> (8 * i))); }
  void block(const uint8_t* p, size_t n) { if (n) bytes.insert(bytes.end(), p, p + n); }
  // A block with its length in front.
  void sized(const uint8_t* p, uint32_t n) { u32(n); block(p, n); }
  // A name: its length in 16 bits, then its bytes.
  void text(const std::string& t) {
    u16(static_cast<uint16_t>(t.size()));
    block(reinterpret_cast<const uint8_t*>(t.data()), static_cast<uint16_t>(t.size()));
  }
  // Starts a section; end_section fills in its length.
  void section(const char tag[5]) {
    block(reinterpret_cast<const uint8_t*>(tag), 4);
    start_ = bytes.size();
    u32(0);
  }
  void end_section() {
    const uint32_t n = static_cast<uint32_t>(bytes.size() - start_ - 4);
    for (int i = 0; i < 4; ++i) bytes[start_ + i] = static_cast<uint8_t>(n >> (8 * i));
  }

 private:
  size_t start_ = 0;
};

class StateReader {
 public:
  StateReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool ok() const { return ok_; }
  bool at_end() const { return pos_ == n_; }
  uint8_t u8() { return need(1) ? p_[pos_++] : 0; }
  uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
  uint32_t u32() { uint32_t v = 0; for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(u8()) << (8 * i); return v; }
  uint64_t u64() { uint64_t v = 0; for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(u8()) << (8 * i); return v; }
  // A yes/no field: the writer only ever puts 0 or 1 there.
  bool flag() {
    const uint8_t v = u8();
    if (v > 1) ok_ = false;
    return v != 0;
  }
  // Marks the section malformed unless a value read from it lies in its range; returns ok().
  bool require(bool in_range) {
    if (!in_range) ok_ = false;
    return ok_;
  }
  const uint8_t* block(size_t n) {
    if (!need(n)) return nullptr;
    const uint8_t* b = p_ + pos_;
    pos_ += n;
    return b;
  }
  std::vector<uint8_t> sized(uint32_t most) {
    const uint32_t n = u32();
    if (n > most) ok_ = false;
    const uint8_t* b = ok_ ? block(n) : nullptr;
    return b ? std::vector<uint8_t>(b, b + n) : std::vector<uint8_t>();
  }
  // A name written by text(); one holding a NUL byte is malformed.
  std::string text() {
    const uint16_t n = u16();
    const uint8_t* b = block(n);
    std::string t = b ? std::string(reinterpret_cast<const char*>(b), n) : std::string();
    if (t.find('\0') != std::string::npos) ok_ = false;
    return t;
  }

 private:
  bool need(size_t n) {
    if (!ok_ || n > n_ - pos_) ok_ = false;
    return ok_;
  }
  const uint8_t* p_;
  size_t n_, pos_ = 0;
  bool ok_ = true;
};

// Bytes taken from a state (a tag, a file name) as a message shows them: printable ASCII as it
// is, a backslash doubled, every other byte as \xNN, so that a damaged or hostile file can put
// neither control characters into a terminal nor invalid UTF-8 into a dialog.
inline std::string shown_escaped(const std::string& raw) {
  std::string shown;
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      shown += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      shown += hex;
    }
  }
  return shown;
}
