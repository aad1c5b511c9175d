// The multi-call operations: multi-part texts gather pieces in
// byteArrAllBuffer, image groups gather bitmaps in chArrImageBuffer (which a
// multimedia upload also uses within its one call), and all of them count in
// g_nArrIndex. These buffers exist once in the process, so one sequence runs
// at a time: every call of these operations holds the sequence lock for its
// whole length, and an open sequence belongs to the thread that started it.
// A piece from another thread is refused; a new start abandons the sequence
// that was open, whose owner's next piece is then refused. So no frame ever
// carries another thread's text or image.
#ifndef LIBVEXA_X86_API_SEQUENCE_H
#define LIBVEXA_X86_API_SEQUENCE_H

#include <mutex>

namespace sequence {

enum class Kind { kNone, kMultiPart, kImageGroup };

// Held for the whole of a call of a multi-call operation.
std::unique_lock<std::mutex> Hold();

// With the lock held: starts a sequence of `kind` owned by the calling
// thread, abandoning any open one (its image buffer is released) and setting
// the fill counter to 0.
void Begin(Kind kind);
// With the lock held: true when the open sequence is of `kind` and was
// started by the calling thread.
bool OwnedHere(Kind kind);
// With the lock held: abandons the open sequence, releasing the image buffer
// and setting the fill counter to 0.
void End();
// With the lock held: closes the sequence whose frames were just built,
// releasing the image buffer. The fill counter (and the gathered text bytes)
// stay as they were sent, for an application that reads g_nArrIndex; the
// next sequence's start resets them. A later piece of the closed sequence is
// refused, as no sequence is open.
void Sent();

}  // namespace sequence

#endif  // LIBVEXA_X86_API_SEQUENCE_H
