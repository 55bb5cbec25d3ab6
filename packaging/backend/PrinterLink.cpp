#include "PrinterLink.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/PhotoPrinterDevice.h"
#include "common/PhotoPrinterIF.h"
#include <libusb.h>

namespace zelbackend {

int chunkLength(size_t remaining)
{
    if (remaining < 512)
        return static_cast<int>(remaining);
    return static_cast<int>(std::min<size_t>(remaining - 256, 65536));
}

int writeChunked(PrinterChannel &channel, const uint8_t *data, size_t length,
                 const std::function<bool()> &cancelled)
{
    size_t offset = 0;
    while (offset < length) {
        if (cancelled && cancelled())
            return kLinkCancelled;
        int sent = 0;
        int rc = channel.bulkOut(data + offset, chunkLength(length - offset), &sent);
        if (rc < 0)
            return rc;
        if (sent <= 0)  // a transfer that moves nothing would loop for ever
            return LIBUSB_ERROR_IO;
        offset += static_cast<size_t>(sent);
    }
    return 0;
}

namespace {

// Reads one reply packet: eight digits giving the length, then the text.
int readReply(PrinterChannel &channel, DeviceRecv *reply)
{
    if (reply->Alloc() != kDeviceOk)
        return kDeviceNoMemory;
    uint8_t *buffer = reinterpret_cast<uint8_t *>(reply->buffer());
    const int capacity = reply->GetBufferLength();
    int got = 0;
    int rc = channel.bulkIn(buffer, DeviceRecv::kLengthFieldSize, &got);
    if (rc < 0)
        return rc;
    for (int i = 0; i < DeviceRecv::kLengthFieldSize; ++i) {
        if (!std::isdigit(buffer[i]))
            return kDeviceBadArgument;
    }
    const int announced = _TextToInt(reply->buffer(), DeviceRecv::kLengthFieldSize);
    if (announced < 1 || announced > capacity - DeviceRecv::kLengthFieldSize)
        return kDeviceBadArgument;
    rc = channel.bulkIn(buffer + DeviceRecv::kLengthFieldSize, announced, &got);
    if (rc < 0)
        return rc;
    return reply->CheckData();
}

}  // namespace

int queryText(PrinterChannel &channel, const char *command, const char *parameter, std::string *value)
{
    value->clear();
    DeviceCmd cmd;
    int rc = cmd.MakeCmd(command, parameter, 0, nullptr);
    if (rc != kDeviceOk)
        return rc;
    rc = writeChunked(channel, cmd.buffer(), static_cast<size_t>(cmd.length()), nullptr);
    if (rc != 0)
        return rc;
    DeviceRecv reply(DeviceRecv::kVariableLength, nullptr);
    rc = readReply(channel, &reply);
    if (rc != kDeviceOk)
        return rc;
    std::vector<char> text(static_cast<size_t>(reply.GetBufferLength()) + 1, '\0');
    reply.GetEffectiveDataAsString(text.data());
    value->assign(text.data());
    return 0;
}

}  // namespace zelbackend
