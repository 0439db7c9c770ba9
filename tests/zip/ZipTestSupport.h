// Helpers of the ZIP tests: reading little-endian fields, inflating member data, and asking
// an independent reader (unzip) about an archive.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "TestSupport.h"

namespace voltrane::test {

inline uint32_t U16At(const std::string& bytes, size_t at) {
  return uint8_t(bytes.at(at)) | uint32_t(uint8_t(bytes.at(at + 1))) << 8;
}

inline uint32_t U32At(const std::string& bytes, size_t at) {
  return U16At(bytes, at) | U16At(bytes, at + 2) << 16;
}

// Bytes from hexadecimal digits; blanks are ignored.
inline std::string Hex(const std::string& digits) {
  std::string bytes, pair;
  for (char c : digits) {
    if (c == ' ') continue;
    pair += c;
    if (pair.size() == 2) bytes += char(std::stoi(pair, nullptr, 16)), pair.clear();
  }
  return bytes;
}

// Incompressible bytes, the same for the same seed.
inline std::string Noise(size_t size, uint32_t seed = 12345) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += char((seed = seed * 1103515245 + 12345) >> 24);
  return bytes;
}

// Raw deflate data back to its content; "<bad>" when it does not inflate completely.
inline std::string InflateRaw(const std::string& data) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return "<bad>";
  std::string out;
  char buffer[16384];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  int result;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  } while (result == Z_OK);
  bool complete = result == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return complete ? out : "<bad>";
}

// The action raises an error of kind E with exactly this kind name and message.
template <class E, class Action>
void ExpectError(Action&& action, const std::string& kind, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no " << kind << " raised";
  } catch (const E& error) {
    EXPECT_EQ(error.KindName(), kind);
    EXPECT_EQ(error.Message(), message);
  }
}

// "unzip -t" on the archive: its output, and whether it found no error.
struct TUnzipCheck {
  bool Ok = false;
  std::string Output;
};

inline TUnzipCheck UnzipTest(const std::string& archive) {
  TProcessResult result = RunProcess({"/usr/bin/unzip", "-t", archive});
  return {result.ExitCode == 0, result.Output};
}

// The bytes of one member as unzip extracts them.
inline std::string UnzipMember(const std::string& archive, const std::string& member) {
  return RunProcess({"/usr/bin/unzip", "-p", archive, member}).Output;
}

}  // namespace voltrane::test
