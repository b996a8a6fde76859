#pragma once
// Reading an input file on a thread of its own, a bounded stretch ahead of the
// run: the run takes the packets in the order the library gives them, so it
// sees the same packets, and the same end, as if it had read them itself.

#include <cstddef>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "LibraryHandles.h"
#include "Stage.h"
#include "StageQueue.h"

// Whether every packet read is written to the log, and with its bytes.
struct PacketDump {
    bool packets = false;
    bool bytes = false;
};

// Reads the next packet of the input into `packet`, logging it as `dump`
// asks; the library's result.
int ReadInputPacket(AVFormatContext* input, AVPacket* packet, PacketDump dump);

class ReadStage : public Stage {
public:
    // The input must stay open until the stage has been joined; only the
    // stage's thread reads from it meanwhile.
    ReadStage(AVFormatContext* input, PacketDump dump);

    // Called from the run's thread: moves the next packet into `packet` and
    // gives the result of reading it. A negative result is the end of the
    // input (or a failure to read on); nothing comes after it.
    int Next(AVPacket* packet);

    void Work() override;
    void Close() override { packets_.Close(); }
    const char* Name() const override { return "tovrela read"; }

private:
    struct Read {
        int result = 0;
        TPacketPtr packet;
    };
    AVFormatContext* input_;
    const PacketDump dump_;
    StageQueue<Read> packets_;
};
