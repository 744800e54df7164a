#pragma once
// What a pool slot of the video encoder worker is on this platform: a private D3D11 texture with an
// event query behind its copy (Windows), or a private BGRA picture (Linux). The worker decides
// everything; a backend only copies pictures in and says when a copy has landed.
#include "core/picture.h"
#include "encode/encoder.h"

namespace halvex {

class ISlotBackend {
 public:
  enum class CopyState { Done, Pending, Failed };

  virtual ~ISlotBackend() = default;

  // How a copied picture is known to be ready, as the worker's start-up line says it.
  virtual std::string SyncDescription() const { return "sync GPU por ID3D11_QUERY_EVENT"; }

  // Creates `count` slots of width × height on the backend's device (given to its constructor).
  // Without a device it returns false at once; on any other failure it logs its line, releases
  // what it made and returns false.
  virtual bool CreateSlots(int width, int height, int count) = 0;
  // Releases every slot (and any context still attached).
  virtual void ReleaseSlots() = 0;

  // Whether `source`, a captured picture of the output size as the capture loop hands it over,
  // carries everything a copy needs.
  virtual bool Accepts(const Picture& source) const = 0;

  // Called on the first submission after start: keeps a reference on the capture context and makes
  // it safe to share with the worker thread. False (with its line logged) refuses the frame; the
  // next submission tries again.
  virtual bool AttachContext(const Picture& source) = 0;
  // Undoes AttachContext; harmless when nothing is attached.
  virtual void DetachContext() = 0;

  // Main thread, without the worker's lock: starts the copy of `source` into `slot`.
  virtual void CopyIntoSlot(int slot, const Picture& source) = 0;
  // Worker thread: whether the copy into `slot` has finished. Failed means the frame is unusable
  // (the backend logs why when there is something to say).
  virtual CopyState PollCopy(int slot) = 0;
  // The picture the encoder reads for `slot`; empty for a slot that does not exist.
  virtual Picture Surface(int slot) = 0;
};

}  // namespace halvex
