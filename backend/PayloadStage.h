// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Where the payload of the command packet being forwarded waits until all of
// it has arrived. Half a command would make the printer take the next job's
// bytes as its rest, so a packet goes out only once its whole payload is
// here; but a payload may announce up to 100 MB, so only a small one is held
// in memory. A large one is read where it lies when the input is a regular
// file, and is otherwise spooled to an unlinked file first.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelbackend {

// Reads up to `length` bytes, fewer only at the end of the input. -1 on a
// read error (errno set), or when `cancelled` says so while data is awaited.
ssize_t ReadFully(const std::function<bool()>& cancelled, int fd, uint8_t* data, size_t length);

enum class StageResult { kReady, kEnded, kReadFailed, kCancelled, kSpoolFailed };

class PayloadStage {
 public:
  // Payloads up to this size are held in memory.
  static constexpr size_t kHeldLimit = 65536;

  // Large payloads from a pipe are spooled in `spoolDir`.
  explicit PayloadStage(std::string spoolDir);
  ~PayloadStage();
  PayloadStage(const PayloadStage&) = delete;
  PayloadStage& operator=(const PayloadStage&) = delete;

  // Takes the next `length` bytes of `fd`: kReady once all of them are
  // here, kEnded when the input ends first; errno tells why the others
  // failed.
  StageResult Take(int fd, size_t length, const std::function<bool()>& cancelled);

  // Copies the next `count` bytes of the payload taken; 0 or an errno value.
  int Read(uint8_t* data, size_t count);

 private:
  StageResult Spool(int fd, size_t length, const std::function<bool()>& cancelled);

  std::string spoolDir_;
  std::vector<uint8_t> held_;  // a small payload, or a piece on its way to the spool
  size_t heldOffset_ = 0;
  int source_ = -1;  // where a large payload is read from: the input or the spool
  int spool_ = -1;
};

}  // namespace zelbackend
