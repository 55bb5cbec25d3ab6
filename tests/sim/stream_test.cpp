// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The bulk OUT stream parser: packets survive any cut between transfers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PacketStream.h"
#include "common/PhotoPrinterDevice.h"

using qv46sim::PacketStream;
using qv46sim::ReceivedCommand;

namespace {

std::string Packet(const char* command, const char* parameter, const std::string& payload) {
  DeviceCmd cmd;
  EXPECT_EQ(cmd.MakeCmd(command, parameter, static_cast<int>(payload.size()), payload.data()), 0);
  return std::string(reinterpret_cast<const char*>(cmd.buffer()),
                     static_cast<std::size_t>(cmd.length()));
}

std::vector<ReceivedCommand> FeedInPieces(const std::string& bytes, std::size_t piece) {
  PacketStream stream;
  std::vector<ReceivedCommand> out;
  for (std::size_t pos = 0; pos < bytes.size(); pos += piece) {
    std::string part = bytes.substr(pos, piece);
    stream.Feed(reinterpret_cast<const unsigned char*>(part.data()), part.size(),
                [&out](const ReceivedCommand& c) { out.push_back(c); });
  }
  return out;
}

struct StreamCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> expected;  // "COMMAND|PARAMETER|LENGTH|PAYLOAD"
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class Stream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Stream, SameCommandsWhereverTheStreamIsCut) {
  for (std::size_t piece :
       {std::size_t(1), std::size_t(7), std::size_t(32), std::size_t(33), std::size_t(100000)}) {
    std::vector<std::string> got;
    for (const ReceivedCommand& c : FeedInPieces(GetParam().bytes, piece))
      got.push_back(c.command + "|" + c.parameter + "|" + std::to_string(c.payloadLength) + "|" +
                    c.payload);
    EXPECT_EQ(got, GetParam().expected) << "pieces of " << piece;
  }
}

const std::string kBig(ReceivedCommand::kKeptPayload + 1, 'x');
const std::string kLargestKept(ReceivedCommand::kKeptPayload, 'y');

INSTANTIATE_TEST_SUITE_P(
    Sim, Stream,
    ::testing::Values(
        StreamCase{"Query", Packet("STATUS", nullptr, ""), {"STATUS||0|"}},
        StreamCase{
            "FullWidthWords", Packet("INFO", "MEDIA_CLASS_RFID", ""), {"INFO|MEDIA_CLASS_RFID|0|"}},
        StreamCase{"PayloadAndNext",
                   Packet("CNTRL", "CUTTER", "00000120") + Packet("CNTRL", "START", ""),
                   {"CNTRL|CUTTER|8|00000120", "CNTRL|START|0|"}},
        StreamCase{
            "PayloadLookingLikeAHeader",
            Packet("IMAGE", "YPLANE", Packet("STATUS", nullptr, "")) + Packet("CNTRL", "START", ""),
            {"IMAGE|YPLANE|32|" + Packet("STATUS", nullptr, ""), "CNTRL|START|0|"}},
        StreamCase{"LargestKeptPayload",
                   Packet("IMAGE", "MPLANE", kLargestKept),
                   {"IMAGE|MPLANE|4096|" + kLargestKept}},
        StreamCase{"LargePayloadOnlyCounted",
                   Packet("IMAGE", "CPLANE", kBig) + Packet("CNTRL", "START", ""),
                   {"IMAGE|CPLANE|4097|", "CNTRL|START|0|"}},
        StreamCase{"GarbageBeforeAPacket",
                   std::string("junk\x1b"
                               "Q\x1b",
                               7) +
                       Packet("STATUS", nullptr, ""),
                   {"STATUS||0|"}},
        StreamCase{"UnfinishedPacketIsNotReported", Packet("INFO", "FVER", "").substr(0, 31), {}},
        StreamCase{"UnfinishedPayloadIsNotReported",
                   Packet("CNTRL", "CUTTER", "00000120").substr(0, 39),
                   {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
