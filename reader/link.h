// SPDX-License-Identifier: MIT
// The interface between a reader port object and the link that carries its frames.
//
// A port holds one link and never asks which kind it is. Push-style links (serial, FTDI, TCP,
// the in-process simulated reader) hand every received byte to their receiver from their own
// thread; pull-style links (HID) are read by the port while it waits. Each link holds its
// reader handle from the range of its kind: serial and FTDI links from 1, HID links from 10001,
// TCP links from 20001.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvara {

// Receives the bytes of a push-style link, one call per byte, in arrival order. Called on the
// link's own thread; implementations lock what they fill.
class CByteReceiver {
public:
    virtual void OnByteReceived(std::uint8_t byte) = 0;
    // A batch of bytes read together, in order; the same as one OnByteReceived per byte.
    virtual void OnBytesReceived(const std::uint8_t* data, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            OnByteReceived(data[i]);
        }
    }
    // The frame handed over is about to go out on the wire: every byte received before this
    // call came before the frame and cannot be its answer. inputPending: bytes had arrived that
    // the link has not handed over yet. Links that cannot tell do not call it.
    virtual void OnFrameOut(bool inputPending) { (void)inputPending; }

protected:
    ~CByteReceiver() = default;
};

class CReaderLink {
public:
    virtual ~CReaderLink() = default;

    // Where received bytes go. Set once, before the link is opened.
    virtual void SetReceiver(CByteReceiver* receiver) = 0;
    // Hands a whole frame to the link for sending; returns at once (push links queue it).
    // False when the frame could not be handed over (then no answer can come).
    virtual bool Send(const std::uint8_t* data, std::size_t length) = 0;
    // Pull-style links: copies up to max pending input bytes, waiting at most 1 ms.
    // Push-style links return 0.
    virtual std::size_t ReadInput(std::uint8_t* buffer, std::size_t max) {
        (void)buffer;
        (void)max;
        return 0;
    }
    virtual bool PullsInput() const { return false; }
    // The reader handle the link holds, from the range of its kind; 0 when it holds none.
    virtual int Handle() const = 0;
    // True for a link that reaches the reader over USB without a COM port (HID, FTDI).
    virtual bool IsUsbDevice() const { return false; }
    // The command whose frames were handed over has returned (it timed out): whatever of them
    // has not gone out yet is never sent, so the reader cannot carry the command out later.
    virtual void Withdraw() {}
    // Stops the link's thread and closes the device. May be called more than once.
    virtual void Close() = 0;
};

}  // namespace kvara
