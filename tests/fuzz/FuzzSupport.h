// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Helpers shared by the libFuzzer targets: splitting an input into parts,
// a scratch folder of the process's own, input bytes as a file descriptor,
// and a pixel allocator that fails on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imglib/ImgLib_Platform.h"

namespace qv46fuzz {

// Parts of a multi-part input are separated by this line.
extern const char kPartSeparator[];

// Splits `data` at the first `count - 1` separators; missing parts are empty,
// so the result always holds `count` parts.
std::vector<std::string> SplitParts(const uint8_t* data, size_t size, size_t count);
// The inverse, used to write seeds.
std::string JoinParts(const std::vector<std::string>& parts);

// A folder of this process under $TMPDIR (else /dev/shm, else /tmp), created
// on first use and removed with its files when the process exits normally.
const std::string& ScratchDir();

// Writes `bytes` to `path`, replacing it; false when that failed.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// An anonymous file holding `bytes`, positioned at its start; -1 on failure.
int MemoryFile(const uint8_t* bytes, size_t size);

// Serves pixel blocks from the heap, failing allocation number `failAt`
// (counted from 1; 0 never fails) and every one after it when `sticky`.
// Counts the blocks it handed out and has not had back.
class FailingAllocator : public PixelAllocator {
 public:
  FailingAllocator(unsigned failAt, bool sticky) : failAt_(failAt), sticky_(sticky) {}
  void* Allocate(size_t size) override;
  void Release(void* block) override;
  long outstanding() const { return outstanding_; }

 private:
  unsigned failAt_;
  bool sticky_;
  unsigned count_ = 0;
  long outstanding_ = 0;
};

}  // namespace qv46fuzz
