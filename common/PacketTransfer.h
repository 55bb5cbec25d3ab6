// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Moving command and reply packets over the printer's bulk pipes. The daemon
// and the backend both talk to the printer and must frame transfers alike.
#pragma once

#include <functional>

// One bulk transfer: 0 or a negative libusb code; `done` gets the bytes moved.
using BulkWrite = std::function<int(const unsigned char* data, int length, int* done)>;
using BulkRead = std::function<int(unsigned char* data, int length, int* done)>;

// libusb's LIBUSB_ERROR_IO, for a transfer that reports success but moves nothing.
constexpr int kTransferIoError = -1;

// Size of the next transfer when `remaining` bytes of one write are left:
// everything below 512 bytes, otherwise all but the last 256, at most 64 KiB,
// so every long write ends with a 256-byte transfer.
int ChunkLength(int remaining);

// Sends `length` bytes as chunked transfers. Stops at the first non-zero
// result of `write` and returns it; 0 when everything went out.
int WriteInChunks(const BulkWrite& write, const unsigned char* data, int length);

// Fills `data` with the next `length` bytes of a write: 0, or a non-zero
// code that ends the write.
using ChunkSource = std::function<int(unsigned char* data, int length)>;

// WriteInChunks for a write whose bytes come from `source` as they are sent,
// in the same transfers; at most one transfer's bytes are held at a time.
int WriteInChunksFrom(const BulkWrite& write, const ChunkSource& source, int length);

// Reads one reply packet into `buffer`: the 8-digit length first, then that
// many bytes. Returns 0, 3 when the length field is not 8 digits or does not
// fit `capacity`, or the transfer's negative code. `received` counts the
// length field and the data bytes.
int ReadReplyPacket(const BulkRead& read, char* buffer, int capacity, int* received);

// Turns the answer to the IEEE 1284 GET_DEVICE_ID request, received into
// `buffer` of `size` bytes, into a NUL-terminated string in place. Its first
// two bytes give its length, big-endian or, from some printers, little-endian.
// Returns 0, or -1 with an empty string when the length is 13 or less.
int DeviceIdFromReply(char* buffer, unsigned long size);
